#!/usr/bin/env bash
# A single-node Slurm for the CI checks, from Debian's slurm-wlm and munge:
# a generated slurm.conf and munge key in a temporary folder, munged,
# slurmctld and slurmd started as processes (no systemd, no cgroups:
# proctrack/linuxproc, task/none), and stopped by the process ids it
# recorded.
#
#   eval "$(scripts/local-slurm.sh start)"   # sets SLURM_CONF for sbatch, squeue, scontrol
#   scripts/local-slurm.sh stop              # uses SLURM_CONF
#
# start prints `export SLURM_CONF=DIR/slurm.conf` once the node is idle; stop
# cancels the cluster's jobs, ends the three daemons and removes DIR. The
# node offers the machine's CPUs and a partition `ci` without a time limit.
# Ports: KELTO_SLURM_PORT (slurmctld) and the next one (slurmd), 16817 by
# default. Run as root (the daemons run as the user who starts them).
set -euo pipefail

die() { echo "local-slurm: $*" >&2; exit 1; }

start() {
  for tool in munged mungekey slurmctld slurmd sinfo scontrol; do
    command -v "$tool" > /dev/null || PATH=$PATH:/usr/sbin
    command -v "$tool" > /dev/null || die "$tool is missing: bash scripts/install-deps.sh ci"
  done
  local dir port host user cpus mem
  dir=$(mktemp -d /tmp/kelto-slurm.XXXXXX)
  chmod 755 "$dir"
  port=${KELTO_SLURM_PORT:-16817}
  host=$(hostname -s)
  user=$(id -un)
  cpus=$(nproc)
  mem=$(awk '/MemTotal/ { print int($2 / 1024 / 2) }' /proc/meminfo)
  mkdir -p "$dir/munge" "$dir/state" "$dir/spool"
  chmod 700 "$dir/munge"

  mungekey --create --keyfile="$dir/munge/munge.key" 2> /dev/null ||
    { dd if=/dev/urandom bs=1 count=1024 of="$dir/munge/munge.key" status=none; chmod 400 "$dir/munge/munge.key"; }
  cat > "$dir/slurm.conf" <<CONF
ClusterName=kelto-ci
SlurmctldHost=$host
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
JobRequeue=1
KillWait=30
NodeName=$host CPUs=$cpus RealMemory=$mem State=UNKNOWN
PartitionName=ci Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
  export SLURM_CONF=$dir/slurm.conf

  # Each daemon in the foreground of its own session, its pid recorded
  # before the next starts, so stop ends exactly these processes.
  setsid munged --foreground --force --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
    --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munge.seed" \
    < /dev/null > "$dir/munged.out" 2>&1 &
  echo $! > "$dir/pids"
  for _ in $(seq 50); do [ -S "$dir/munge/munge.socket" ] && break; sleep 0.2; done
  [ -S "$dir/munge/munge.socket" ] || { cat "$dir/munged.out" >&2; stop_dir "$dir"; die "munged did not start"; }
  setsid slurmctld -D -i -f "$dir/slurm.conf" < /dev/null > "$dir/slurmctld.out" 2>&1 &
  echo $! >> "$dir/pids"
  setsid slurmd -D -f "$dir/slurm.conf" < /dev/null > "$dir/slurmd.out" 2>&1 &
  echo $! >> "$dir/pids"

  for _ in $(seq 60); do
    [ "$(sinfo -h -n "$host" -o %t 2> /dev/null)" = idle ] && { echo "export SLURM_CONF=$dir/slurm.conf"; return 0; }
    sleep 1
  done
  tail -n 20 "$dir"/*.out "$dir"/*.log >&2 || true
  stop_dir "$dir"
  die "the node did not become idle within a minute"
}

stop_dir() {
  local dir=$1 pid
  [ -f "$dir/pids" ] || die "$dir holds no pids: not started by this script"
  SLURM_CONF=$dir/slurm.conf scancel --full --quiet --user "$(id -un)" 2> /dev/null || true
  # slurmd, slurmctld, munged: the reverse order of start.
  for pid in $(tac "$dir/pids"); do
    kill -TERM "$pid" 2> /dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.2; done
    kill -0 "$pid" 2> /dev/null && kill -KILL "$pid" 2> /dev/null
  done
  rm -rf "$dir"
}

stop() {
  [ -n "${SLURM_CONF:-}" ] || die "SLURM_CONF is not set: give the folder start printed"
  local dir
  dir=$(dirname "$SLURM_CONF")
  case "$dir" in /tmp/kelto-slurm.*) ;; *) die "$dir is not a folder of this script" ;; esac
  stop_dir "$dir"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
