// Path identities, the one check of a command's files, and safe opening.
#include "common/files.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelto {

std::string link_destination(const std::string &path)
{
    std::filesystem::path at(path);
    std::error_code error;
    for (int hop = 0; hop < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(at, error)); ++hop) {
        const std::filesystem::path target = std::filesystem::read_symlink(at, error);
        if (error)
            break;
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return at.string();
}

bool identify(const std::string &path, FileIdentity &identity)
{
    identity = FileIdentity{};
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        identity.exists = true;
        identity.dev = info.st_dev;
        identity.ino = info.st_ino;
        identity.mode = info.st_mode;
        return true;
    }
    const std::filesystem::path destination(link_destination(path));
    const std::filesystem::path parent = destination.parent_path();
    if (stat(parent.empty() ? "." : parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    identity.dev = info.st_dev;
    identity.ino = info.st_ino;
    identity.name = destination.filename().string();
    return true;
}

bool same_identity(const FileIdentity &a, const FileIdentity &b)
{
    return a.exists == b.exists && a.dev == b.dev && a.ino == b.ino && a.name == b.name;
}

bool check_paths(const std::vector<PathUse> &uses, std::string &message)
{
    std::vector<FileIdentity> identities(uses.size());
    for (std::size_t i = 0; i < uses.size(); ++i) {
        const PathUse &use = uses[i];
        const bool found = identify(use.path, identities[i]);
        if (!use.written)
            continue;
        const FileIdentity &id = identities[i];
        if (!found) {
            message = use.role + " " + use.path + " is in a directory that does not exist";
            return false;
        }
        if (id.exists && S_ISDIR(id.mode)) {
            message = use.role + " " + use.path + " is a directory";
            return false;
        }
        if (use.regular_only && id.exists && !S_ISREG(id.mode)) {
            message = use.role + " " + use.path + " is not a regular file (a device, FIFO or socket is never replaced)";
            return false;
        }
    }
    for (std::size_t i = 0; i < uses.size(); ++i) {
        if (!uses[i].written)
            continue;
        for (std::size_t j = 0; j < uses.size(); ++j)
            if (j != i && (j < i || !uses[j].written) && same_identity(identities[i], identities[j]) &&
                (identities[i].exists || !identities[i].name.empty())) {
                message = uses[i].role + " " + uses[i].path + " is the same file as " + uses[j].role + " " +
                          uses[j].path;
                return false;
            }
    }
    return true;
}

bool same_file(FILE *file, const char *path)
{
    struct stat open_stat;
    struct stat path_stat;
    return fstat(fileno(file), &open_stat) == 0 && stat(path, &path_stat) == 0 &&
           open_stat.st_dev == path_stat.st_dev && open_stat.st_ino == path_stat.st_ino;
}

bool is_dev_null(const std::string &path)
{
    struct stat info;
    struct stat null_info;
    return stat(path.c_str(), &info) == 0 && stat("/dev/null", &null_info) == 0 && S_ISCHR(info.st_mode) &&
           info.st_rdev == null_info.st_rdev;
}

FILE *open_regular(const std::string &path, std::string &why)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        why = S_ISDIR(info.st_mode) ? "a directory, not a file" : "not a regular file";
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *file = fdopen(fd, "rb");
    if (file == nullptr) {
        why = std::strerror(errno);
        close(fd);
    }
    return file;
}

void remove_written_file(const std::string &path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        std::remove(path.c_str());
}

bool read_text_file(const std::string &path, std::size_t limit, std::string &text, std::string &why)
{
    FileHandle file(open_regular(path, why));
    if (!file) {
        why = "cannot be read: " + why;
        return false;
    }
    text.clear();
    char buffer[1 << 14];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        text.append(buffer, n);
        if (text.size() > limit) {
            why = "is larger than " + std::to_string(limit >> 20) + " MiB";
            return false;
        }
    }
    if (std::ferror(file.get())) {
        why = "cannot be read";
        return false;
    }
    return true;
}

std::string read_start(const std::string &path, std::size_t limit)
{
    std::string why;
    FILE *file = open_regular(path, why);
    if (file == nullptr)
        return {};
    std::string text(limit, '\0');
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return text;
}

}  // namespace kelto
