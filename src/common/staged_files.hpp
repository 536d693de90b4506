// Outputs written whole or not at all: each goes to a temporary file beside
// its target and is renamed into place only when every output of the
// command is complete; until then the targets stay as they were.
#pragma once

#include <string>
#include <vector>

#include "common/text.hpp"

namespace kelto {

// An output written to a temporary file beside its target (beside where a
// link at the target leads, so that the link keeps working).
struct StagedFile {
    const char *role = "";  // "report", "TSV", "JSON", "HTML"
    std::string path;
    std::string target;  // `path` with its links followed
    std::string temp;
    TextSink sink;
};

// The outputs of one command; temporary files not put in place are removed
// when it goes.
struct StagedFiles {
    std::vector<StagedFile> files;
    bool committed = false;
    StagedFiles() = default;
    StagedFiles(const StagedFiles &) = delete;
    StagedFiles &operator=(const StagedFiles &) = delete;
    ~StagedFiles();

    StagedFile &add(const char *role, const std::string &path);
};

// Creates every temporary file, with the permissions a plain run gives its
// files; false with why not.
bool stage_files(StagedFiles &staged, std::string &why);

// Syncs and closes every temporary file, then renames each into place in
// order; false with why not. Nothing is renamed unless all were written.
bool commit_files(StagedFiles &staged, std::string &why);

}  // namespace kelto
