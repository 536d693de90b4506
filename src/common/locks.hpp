// One writer per run: an advisory lock (flock) on the run's record, or on
// its report when it keeps no record, held for the process's whole work.
// Another kelto process that asks for it is refused at once.
#pragma once

#include <string>

namespace kelto {

enum class LockKind { kShared, kExclusive };

// A lock held while the object lives (the descriptor it was taken on is
// closed with it).
struct FileLock {
    int fd = -1;
    FileLock() = default;
    FileLock(FileLock &&other) noexcept : fd(other.fd) { other.fd = -1; }
    FileLock &operator=(FileLock &&other) noexcept;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();
    bool held() const { return fd >= 0; }
};

// Locks the regular file at `path` without waiting. A path that does not
// exist or is no regular file is not locked and not an error (the lock
// stays unheld). Returns false when another process holds the file, with
// a message naming the file and that process where /proc/locks tells it.
bool lock_existing(const std::string &path, LockKind kind, FileLock &lock, std::string &why);

// Locks a file this process has just created, through its descriptor.
bool lock_descriptor(int fd, const std::string &path, FileLock &lock, std::string &why);

}  // namespace kelto
