// Whether two names lead to one file, so that no output overwrites the
// input or another output.
#pragma once

#include <cstdio>
#include <string>

namespace kelto {

// True when `path` exists and is the same file (device and inode) as the
// open `file`.
bool same_file(FILE *file, const char *path);

// Two paths name one file: the same device and inode when both exist,
// otherwise the same destination (a link to a file not yet created names
// that file).
bool same_target(const std::string &a, const std::string &b);

// Removes a half-written output, only when it is a regular file (never a
// device such as /dev/full or a pipe the user named).
void remove_written_file(const std::string &path);

}  // namespace kelto
