// Advisory locks with flock, and who holds one, from /proc/locks.
#include "common/locks.hpp"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kelto {

namespace {

// The process holding a lock on the file of `info`, or 0 when unknown.
long lock_holder(const struct stat &info)
{
    std::ifstream locks("/proc/locks");
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, type, mode, access, file;
        long pid = 0;
        if (fields >> number >> type >> mode >> access >> pid >> file && type == "FLOCK" && file == device)
            return pid;
    }
    return 0;
}

bool take(int fd, LockKind kind, const std::string &path, FileLock &lock, std::string &why)
{
    if (flock(fd, (kind == LockKind::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
        lock = FileLock{};
        lock.fd = fd;
        return true;
    }
    struct stat info;
    const long pid = fstat(fd, &info) == 0 ? lock_holder(info) : 0;
    close(fd);
    why = path + " is in use by another kelto process" + (pid > 0 ? " (pid " + std::to_string(pid) + ")" : "") +
          ": only one may write a run's files at a time";
    return false;
}

}  // namespace

FileLock &FileLock::operator=(FileLock &&other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            close(fd);
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

FileLock::~FileLock()
{
    if (fd >= 0)
        close(fd);
}

bool lock_existing(const std::string &path, LockKind kind, FileLock &lock, std::string &why)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return true;
    }
    return take(fd, kind, path, lock, why);
}

bool lock_descriptor(int fd, const std::string &path, FileLock &lock, std::string &why)
{
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return true;
    return take(own, LockKind::kExclusive, path, lock, why);
}

}  // namespace kelto
