// Advisory locks with flock, and who holds one, from /proc/locks.
#include "common/locks.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/files.hpp"

namespace kelto {

namespace {

// Tries of lock_output when the path keeps naming another file than the
// one just locked (a holder removing what it created, a rename).
constexpr int kLockTries = 16;

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

// The refusal naming the file and, where known, its holder; closes `fd`.
bool refuse_busy(int fd, const std::string &path, std::string &why)
{
    struct stat info;
    const long pid = fstat(fd, &info) == 0 ? lock_holder(info) : 0;
    close(fd);
    why = path + " is in use by another kelto process" + (pid > 0 ? " (pid " + std::to_string(pid) + ")" : "") +
          ": only one may write a run's files at a time";
    return false;
}

bool take(int fd, LockKind kind, const std::string &path, FileLock &lock, std::string &why)
{
    if (flock(fd, (kind == LockKind::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        return refuse_busy(fd, path, why);
    lock = FileLock{};
    lock.fd = fd;
    return true;
}

// Whether `path` names the open file `fd`.
bool names_file(const std::string &path, int fd)
{
    struct stat open_info;
    struct stat path_info;
    return fstat(fd, &open_info) == 0 && stat(path.c_str(), &path_info) == 0 && open_info.st_dev == path_info.st_dev &&
           open_info.st_ino == path_info.st_ino;
}

// Removes what was created only for the lock, then lets the lock go. The
// file is removed while still locked, so that no other process can have
// taken it over; one that opened it meanwhile finds its lock on a file the
// path no longer names, and tries again.
void release(FileLock &lock)
{
    if (lock.fd < 0)
        return;
    if (!lock.created.empty() && names_file(lock.created, lock.fd))
        unlink(lock.created.c_str());
    close(lock.fd);
    lock.fd = -1;
    lock.created.clear();
}

}  // namespace

FileLock::FileLock(FileLock &&other) noexcept : fd(other.fd), created(std::move(other.created))
{
    other.fd = -1;
    other.created.clear();
}

FileLock &FileLock::operator=(FileLock &&other) noexcept
{
    if (this != &other) {
        release(*this);
        fd = other.fd;
        created = std::move(other.created);
        other.fd = -1;
        other.created.clear();
    }
    return *this;
}

FileLock::~FileLock() { release(*this); }

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

bool lock_output(const std::string &path, bool create, FileLock &lock, std::string &why)
{
    const std::string target = link_destination(path);
    for (int attempt = 0; attempt < kLockTries; ++attempt) {
        // Never opened when it is something else than a regular file: opening
        // a FIFO would disturb whoever reads it.
        struct stat info;
        const bool exists = stat(target.c_str(), &info) == 0;
        if (exists ? !S_ISREG(info.st_mode) : !create)
            return true;
        const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
        int fd = exists ? open(target.c_str(), flags) : open(target.c_str(), flags | O_CREAT | O_EXCL, 0666);
        const bool created = fd >= 0 && !exists;
        if (fd < 0 && (errno == EEXIST || errno == ENOENT))
            continue;  // created or removed by another process meanwhile
        if (fd < 0)
            return true;
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            return true;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            return refuse_busy(fd, path, why);
        if (!names_file(target, fd)) {
            close(fd);
            continue;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        lock = FileLock{};
        lock.fd = fd;
        if (created)
            lock.created = target;
        return true;
    }
    why = path + " keeps being replaced by another process: it cannot be locked";
    return false;
}

bool lock_descriptor(int fd, const std::string &path, FileLock &lock, std::string &why)
{
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return true;
    return take(own, LockKind::kExclusive, path, lock, why);
}

FILE *open_locked(FileLock &lock, uint64_t length)
{
    if (ftruncate(lock.fd, static_cast<off_t>(length)) != 0)
        return nullptr;
    const int fd = fcntl(lock.fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    FILE *file = lseek(fd, 0, SEEK_END) >= 0 ? fdopen(fd, "w") : nullptr;  // fdopen never truncates
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    lock.created.clear();
    return file;
}

void pause_point(const char *point)
{
    const char *wanted = std::getenv("KELTO_TEST_PAUSE");
    if (wanted != nullptr && std::strcmp(wanted, point) == 0)
        raise(SIGSTOP);
}

}  // namespace kelto
