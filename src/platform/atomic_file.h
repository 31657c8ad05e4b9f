// Replacing a file's contents in one step, so that a crash or a full disk never leaves a
// half-written file behind: the new contents go to a temporary file beside the target, are
// flushed to the disk, and only then take the target's place.
#pragma once

#include <string>
#include <string_view>

namespace k4 {

// True when `path` now holds exactly `contents`. On false the previous file (if any) is
// untouched and no temporary file is left behind.
bool replaceFileContents(const std::string& path, std::string_view contents);

// The temporary file `replaceFileContents` writes beside `path`.
std::string replacementTempPath(const std::string& path);

// Tests only: when set, called in place of the final step that moves the flushed temporary
// file over the target; its result stands for that step's success.
using FileReplaceStep = bool (*)(const std::string& tempPath, const std::string& targetPath);
void setFileReplaceStepForTesting(FileReplaceStep step);

}  // namespace k4
