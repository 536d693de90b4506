// Outputs written whole or not at all: each goes to a temporary file beside
// its target and is renamed into place only when every output of the
// command is complete; until then the targets stay as they were. One writer
// at a time: each target is locked before its temporary file is made, and
// each temporary file before it is renamed, so that the file the target's
// path names stays locked by this process across the rename.
#pragma once

#include <string>
#include <vector>

#include "common/locks.hpp"
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
    FileLock target_lock;  // on the target (created empty when it was not there)
    FileLock temp_lock;    // on the temporary file, held past its rename
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

// Locks every target (lock_output) before anything is staged; false with
// why not when another process holds one. A target created for its lock and
// never replaced is removed when the files go.
bool lock_targets(StagedFiles &staged, std::string &why);

// Creates every temporary file, with the permissions a plain run gives its
// files, and locks it; false with why not.
bool stage_files(StagedFiles &staged, std::string &why);

// Syncs and closes every temporary file, then renames each into place in
// order; false with why not. Nothing is renamed unless all were written.
bool commit_files(StagedFiles &staged, std::string &why);

}  // namespace kelto
