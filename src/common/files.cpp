// Same-file checks by device and inode, or by where a path leads.
#include "common/files.hpp"

#include <filesystem>

#include <sys/stat.h>

namespace kelto {

namespace {

// Where a path leads: symbolic links followed, also to a file that does not
// exist yet, then made absolute and normal.
std::filesystem::path destination(std::filesystem::path path)
{
    std::error_code ignored;
    for (int hop = 0; hop < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(path, ignored)); ++hop) {
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::filesystem::weakly_canonical(path, ignored);
}

}  // namespace

bool same_target(const std::string &a, const std::string &b)
{
    struct stat a_stat;
    struct stat b_stat;
    const bool a_exists = stat(a.c_str(), &a_stat) == 0;
    const bool b_exists = stat(b.c_str(), &b_stat) == 0;
    if (a_exists && b_exists)
        return a_stat.st_dev == b_stat.st_dev && a_stat.st_ino == b_stat.st_ino;
    if (a_exists != b_exists)
        return false;
    return destination(a) == destination(b);
}

void remove_written_file(const std::string &path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        std::remove(path.c_str());
}

bool same_file(FILE *file, const char *path)
{
    struct stat open_stat;
    struct stat path_stat;
    return fstat(fileno(file), &open_stat) == 0 && stat(path, &path_stat) == 0 &&
           open_stat.st_dev == path_stat.st_dev && open_stat.st_ino == path_stat.st_ino;
}

}  // namespace kelto
