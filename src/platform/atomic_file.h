// Replacing a file's contents in one step, so that a crash or a full disk never leaves a
// half-written file behind: the new contents go to a temporary file beside the target, are
// flushed to the disk, and only then take the target's place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace k4 {

// True when `path` now holds exactly `contents`. On false the previous file (if any) is
// untouched and no temporary file is left behind.
// On Windows a profile that the host holds open without delete sharing cannot be replaced;
// there the new contents, once flushed to the temporary file, are written over the old ones in
// place. Should that write fail half-way, the file is never shorter than the new contents and
// the temporary file, holding all of them, stays beside it.
bool replaceFileContents(const std::string& path, std::string_view contents);

// The temporary file `replaceFileContents` writes beside `path`.
std::string replacementTempPath(const std::string& path);

// One version of a file as the file system describes it, without reading it: a file that was
// replaced, rewritten or removed has another stamp.
struct FileStamp {
  bool exists = false;
  uint64_t volume = 0;  // the file's identity: device and inode, or its creation time
  uint64_t index = 0;
  uint64_t size = 0;
  int64_t modified = 0;
  int64_t changed = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const std::string& path);

// Tests only: when set, called in place of the final step that moves the flushed temporary
// file over the target; its result stands for that step's success.
using FileReplaceStep = bool (*)(const std::string& tempPath, const std::string& targetPath);
void setFileReplaceStepForTesting(FileReplaceStep step);

}  // namespace k4
