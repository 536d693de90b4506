#!/usr/bin/env python3
"""Cost and size of compressed outputs.

Runs kelto at T = 1000 (BLOSUM62, seed 7, --quiet, with --json and --tsv)
with plain, .gz and .zst files, on 1 and 2 threads, on the bundled example
and on 6 random pairs of 300 residues (15 quartets), the three kinds taken
in turn within each round so that a change of load on the machine falls on
all of them. Prints the median and lowest wall and CPU time of each, the
change against the plain run, and the size of every file; checks that each
compressed report and TSV decompresses (gzip -dc, zstd -dcq) to the plain
run's. With --instructions, also the instructions of one-thread runs on the
example counted by valgrind's callgrind (independent of the machine's load).

    bench/compression_bench.py [--kelto build/kelto] [--runs 5] [--instructions]
"""
import argparse
import os
import random
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

KINDS = ["", ".gz", ".zst"]
DECOMPRESS = {".gz": ["gzip", "-dc"], ".zst": ["zstd", "-dcq"]}


def make_input(path, pairs=6, length=300):
    rng = random.Random(5)
    with open(path, "w") as f:
        f.write("# %d\n" % pairs)
        for i in range(2 * pairs):
            f.write(">s%d\n%s\n" % (i, "".join(rng.choice("ARNDCQEGHILKMFPSTWYV") for _ in range(length))))


def command(kelto, work, kind, threads, source, prefix=()):
    return list(prefix) + [kelto, "--quiet", "--seed", "7", "--matrix", "2", "--threads", str(threads),
                           "--json", os.path.join(work, "run.jsonl" + kind),
                           "--tsv", os.path.join(work, "run.tsv" + kind),
                           source, os.path.join(work, "out.txt" + kind), "1000"]


def timed(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def check_and_size(work):
    sizes = {}
    for name in ["out.txt", "run.tsv", "run.jsonl"]:
        plain = open(os.path.join(work, name), "rb").read()
        sizes[name] = [len(plain)]
        for kind in KINDS[1:]:
            path = os.path.join(work, name + kind)
            sizes[name].append(os.path.getsize(path))
            if name != "run.jsonl" and subprocess.run(DECOMPRESS[kind] + [path], check=True,
                                                      capture_output=True).stdout != plain:
                sys.exit("compression_bench: %s does not decompress to %s" % (path, name))
    return sizes


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser()
    parser.add_argument("--kelto", default=os.path.join(repo, "build", "kelto"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--instructions", action="store_true")
    options = parser.parse_args()
    kelto = os.path.abspath(options.kelto)
    with tempfile.TemporaryDirectory() as work:
        inputs = [("globins (N = 139, 3 quartets)", os.path.join(repo, "examples", "globins.txt")),
                  ("300 positions (15 quartets)", os.path.join(work, "in300.txt"))]
        make_input(inputs[1][1])
        print("load average before: %.2f %.2f %.2f" % os.getloadavg())
        for label, source in inputs:
            for threads in (1, 2):
                walls = {kind: [] for kind in KINDS}
                cpus = {kind: [] for kind in KINDS}
                for r in range(options.runs):
                    for i in range(len(KINDS)):
                        kind = KINDS[(i + r) % len(KINDS)]
                        wall, cpu = timed(command(kelto, work, kind, threads, source))
                        walls[kind].append(wall)
                        cpus[kind].append(cpu)
                print("\n%s, %d thread%s, %d runs each:" % (label, threads, "s" if threads > 1 else "", options.runs))
                print("| files | wall median (min) s | change | CPU median (min) s | change |")
                print("|---|---|---|---|---|")
                base_wall, base_cpu = statistics.median(walls[""]), statistics.median(cpus[""])
                for kind in KINDS:
                    wall, cpu = statistics.median(walls[kind]), statistics.median(cpus[kind])
                    print("| %s | %.3f (%.3f) | %+.1f %% | %.3f (%.3f) | %+.1f %% |" % (
                        kind or "plain", wall, min(walls[kind]), 100 * (wall / base_wall - 1), cpu, min(cpus[kind]),
                        100 * (cpu / base_cpu - 1)))
            sizes = check_and_size(work)
            print("\n%s, bytes (ratio):" % label)
            print("| file | plain | .gz | .zst |")
            print("|---|---|---|---|")
            for name, (plain, gz, zst) in sizes.items():
                print("| %s | %d | %d (%.1f) | %d (%.1f) |" % (name, plain, gz, plain / gz, zst, plain / zst))
        if options.instructions:
            print("\nglobins, 1 thread, instructions (callgrind):")
            for kind in KINDS:
                out = subprocess.run(command(kelto, work, kind, 1, inputs[0][1],
                                             ["valgrind", "--tool=callgrind",
                                              "--callgrind-out-file=" + os.path.join(work, "cg.out")]),
                                     capture_output=True, text=True).stderr
                print("| %s | %s |" % (kind or "plain", re.search(r"Collected : (\d+)", out).group(1)))
        print("\nload average after: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()
