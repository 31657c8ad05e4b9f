#include <windows.h>

#include "platform/atomic_file.h"

namespace k4 {

namespace {

FileReplaceStep replaceStepForTesting = nullptr;

bool writeAll(HANDLE file, std::string_view contents) {
  while (!contents.empty()) {
    const DWORD chunk =
        contents.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(contents.size());
    DWORD written = 0;
    if (!WriteFile(file, contents.data(), chunk, &written, nullptr) || written == 0)
      return false;
    contents.remove_prefix(written);
  }
  return true;
}

enum class InPlace { Written, Untouched, Damaged };

// The fall-back where the profile cannot be replaced because the host holds it open without
// delete sharing (the rename is refused then): the complete new contents are written over the
// old ones through a handle of our own. The file is first grown to the new length, the only
// step that can run out of space, and cut to it only after everything is written, so that it
// is never shorter than the new contents, never truncated.
InPlace overwriteInPlace(const std::string& path, std::string_view contents) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return InPlace::Untouched;
  InPlace result = InPlace::Untouched;
  LARGE_INTEGER oldSize{};
  LARGE_INTEGER newSize{};
  newSize.QuadPart = static_cast<LONGLONG>(contents.size());
  const LARGE_INTEGER start{};
  if (GetFileSizeEx(file, &oldSize)) {
    bool grown = true;
    if (newSize.QuadPart > oldSize.QuadPart) {
      grown = SetFilePointerEx(file, newSize, nullptr, FILE_BEGIN) && SetEndOfFile(file);
      if (!grown) {
        // Nothing but the length was touched: put it back.
        SetFilePointerEx(file, oldSize, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
      }
    }
    if (grown) {
      result = InPlace::Damaged;
      if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && writeAll(file, contents) &&
          SetEndOfFile(file) && FlushFileBuffers(file)) {
        result = InPlace::Written;
      }
    }
  }
  if (!CloseHandle(file) && result == InPlace::Written)
    result = InPlace::Damaged;
  return result;
}

}  // namespace

std::string replacementTempPath(const std::string& path) {
  return path + ".k4-saving";
}

FileStamp fileStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
    return {};
  auto ticks = [](const FILETIME& time) {
    return static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  };
  // A rewrite changes the size or the last write time; a file moved into place usually brings
  // its own creation time too (unless the file system's name tunnelling carries the old one).
  return FileStamp{true,
                   0,
                   static_cast<uint64_t>(ticks(data.ftCreationTime)),
                   uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow,
                   ticks(data.ftLastWriteTime),
                   0};
}

void setFileReplaceStepForTesting(FileReplaceStep step) {
  replaceStepForTesting = step;
}

bool replaceFileContents(const std::string& path, std::string_view contents) {
  if (path.empty())
    return false;
  // A profile the user made read-only stays as it is, as it would with a write in place.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  const std::string temp = replacementTempPath(path);
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = writeAll(file, contents) && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  if (ok) {
    // MoveFileEx rather than ReplaceFile: ReplaceFile has failure modes that leave the target
    // renamed away, and the profile must never be missing.
    SetLastError(ERROR_SUCCESS);
    ok = replaceStepForTesting != nullptr
             ? replaceStepForTesting(temp, path)
             : MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) {
      const DWORD refusal = GetLastError();
      if (refusal == ERROR_SHARING_VIOLATION || refusal == ERROR_ACCESS_DENIED) {
        switch (overwriteInPlace(path, contents)) {
          case InPlace::Written:
            DeleteFileA(temp.c_str());
            return true;
          case InPlace::Untouched:
            break;
          case InPlace::Damaged:
            // The complete new contents stay beside the profile, flushed, for whoever mends it.
            return false;
        }
      }
    }
  }
  if (!ok)
    DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace k4
