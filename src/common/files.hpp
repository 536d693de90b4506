// Where paths lead and what they are, so that no output overwrites an input
// or another output, and nothing waits on a file that is not a file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kelto {

// An open stream closed when it goes.
struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// A path as the file system sees it: the file itself when it exists,
// otherwise the directory it would be created in and its name there (links
// followed, also a link to a file not yet created).
struct FileIdentity {
    bool exists = false;
    dev_t dev = 0;  // of the file, or of the directory it would be created in
    ino_t ino = 0;
    std::string name;  // a file not yet created: its name in that directory
    mode_t mode = 0;   // an existing file's type and permissions
};

// False when neither the file nor the directory it would be created in
// can be looked up.
bool identify(const std::string &path, FileIdentity &identity);

bool same_identity(const FileIdentity &a, const FileIdentity &b);

// The path a write through `path` reaches: symbolic links of its last
// component followed, also to a file not yet created.
std::string link_destination(const std::string &path);

// One file a command reads or writes, named in messages by `role` ("the
// report", "the JSON file", "part s1.jsonl's report" ...).
struct PathUse {
    std::string role;
    std::string path;
    bool written = false;
    // Written only as a regular file: an existing device, FIFO or socket
    // there is refused rather than replaced.
    bool regular_only = false;
};

// Checks the files of one command before anything is written: a written
// path must not be a directory nor lie in a missing directory, a
// regular-only one must not be another kind of file, and no written path
// may be the same file as any other path of the list. Returns false with a
// one-line message (no line feed) naming both paths.
bool check_paths(const std::vector<PathUse> &uses, std::string &message);

// True when `path` exists and is the same file (device and inode) as the
// open `file`.
bool same_file(FILE *file, const char *path);

// Whether the path is this system's /dev/null.
bool is_dev_null(const std::string &path);

// Opens a regular file for reading without ever waiting (a FIFO is refused
// before it could block). Returns null with why not in `why`.
FILE *open_regular(const std::string &path, std::string &why);

// Up to `limit` bytes from the start of the regular file at `path`; empty
// when it cannot be opened.
std::string read_start(const std::string &path, std::size_t limit);

// Reads a whole regular file of at most `limit` bytes into `text`; false
// with why not ("cannot be read: ...", "is larger than ...") in `why`.
bool read_text_file(const std::string &path, std::size_t limit, std::string &text, std::string &why);

// Removes a half-written output, only when it is a regular file (never a
// device such as /dev/full or a pipe the user named).
void remove_written_file(const std::string &path);

}  // namespace kelto
