// One writer per output: an advisory lock (flock) on every file a command
// writes, taken before the file is changed in any way and held for the
// process's whole work. Another kelto process that asks for it is refused
// at once, before it changes a byte.
//
// The lock is on the file the output's path names. A command that puts a
// staged file in place by renaming also locks the staged file before the
// rename, so that whichever file the path names, before or after the
// rename, is locked by it; a lock taken on a file that the path no longer
// names is dropped and taken again on the file it names now.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kelto {

enum class LockKind { kShared, kExclusive };

// A lock held while the object lives (the descriptor it was taken on is
// closed with it). `created` names a file this process created only to
// lock it; it is removed with the lock unless it was opened as the output
// (or replaced by a rename) meanwhile.
struct FileLock {
    int fd = -1;
    std::string created;
    FileLock() = default;
    FileLock(FileLock &&other) noexcept;
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

// Locks the output at `path` exclusively before anything is written to it:
// the file (where a link at `path` leads) is opened for writing without
// truncation, created empty where it does not exist and `create` allows,
// locked without waiting, and checked to be still the file the path names.
// A path that names no regular file (a device, a FIFO), or a file that
// cannot be opened for writing, is not locked and not an error: the lock
// stays unheld and the caller's own opening says what is wrong. Returns
// false, as lock_existing does, when another process holds the file.
bool lock_output(const std::string &path, bool create, FileLock &lock, std::string &why);

// Locks a file this process has just created, through its descriptor.
bool lock_descriptor(int fd, const std::string &path, FileLock &lock, std::string &why);

// The locked output opened for writing: cut back to `length` bytes, written
// from there on, and kept when the lock goes. Null when it cannot be cut or
// opened.
FILE *open_locked(FileLock &lock, uint64_t length);

// Test hook: where the environment variable KELTO_TEST_PAUSE names `point`,
// the process stops itself there (SIGSTOP), so that a test can start a
// second process at exactly that moment and then continue this one
// (SIGCONT). Nothing happens otherwise.
void pause_point(const char *point);

}  // namespace kelto
