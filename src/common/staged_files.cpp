// Temporary files beside their targets, renamed into place together.
#include "common/staged_files.hpp"

#include <cstdio>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "common/files.hpp"

namespace kelto {

StagedFiles::~StagedFiles()
{
    for (StagedFile &file : files) {
        if (file.sink.file != nullptr)
            std::fclose(file.sink.file);
        if (!committed && !file.temp.empty())
            unlink(file.temp.c_str());
    }
}

StagedFile &StagedFiles::add(const char *role, const std::string &path)
{
    files.push_back(StagedFile{role, path, link_destination(path), {}, {}, {}, {}});
    return files.back();
}

bool lock_targets(StagedFiles &staged, std::string &why)
{
    for (StagedFile &file : staged.files)
        if (!lock_output(file.path, true, file.target_lock, why))
            return false;
    return true;
}

bool stage_files(StagedFiles &staged, std::string &why)
{
    const mode_t mask = umask(0);
    umask(mask);
    for (StagedFile &file : staged.files) {
        const std::filesystem::path target(file.target);
        const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
        std::string hidden = ".";
        hidden += target.filename().string();
        hidden += ".kelto-XXXXXX";
        std::string name = (dir / hidden).string();
        const int fd = mkstemp(name.data());
        if (fd < 0) {
            why = "cannot create a file beside " + file.path;
            return false;
        }
        file.temp = name;
        fchmod(fd, 0666 & ~mask);
        lock_descriptor(fd, file.path, file.temp_lock, why);  // a new file: no one else holds it
        file.sink.file = fdopen(fd, "wb");
        if (file.sink.file == nullptr) {
            close(fd);
            why = "cannot create a file beside " + file.path;
            return false;
        }
    }
    return true;
}

bool commit_files(StagedFiles &staged, std::string &why)
{
    for (StagedFile &file : staged.files) {
        const bool written = sink_sync(file.sink);
        const bool closed = std::fclose(file.sink.file) == 0;
        file.sink.file = nullptr;
        if (!written || !closed) {
            why = std::string("cannot write the ") + file.role + " file " + file.path;
            return false;
        }
    }
    pause_point("staged-written");
    for (StagedFile &file : staged.files) {
        if (std::rename(file.temp.c_str(), file.target.c_str()) != 0) {
            why = std::string("cannot put the ") + file.role + " file in place as " + file.path;
            return false;
        }
        if (&file == &staged.files.front())
            pause_point("staged-renamed");
    }
    staged.committed = true;
    return true;
}

}  // namespace kelto
