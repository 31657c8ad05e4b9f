#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/atomic_file.h"

namespace k4 {

namespace {

FileReplaceStep replaceStepForTesting = nullptr;

bool writeAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A profile reached through a symbolic link is replaced where it lives; renaming over the link
// itself would turn the link into a copy.
std::string resolvedTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
    return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr)
    return path;
  return resolved;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable.
void syncDirectory(const std::string& path) {
  const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string replacementTempPath(const std::string& path) {
  return path + ".k4-saving";
}

void setFileReplaceStepForTesting(FileReplaceStep step) {
  replaceStepForTesting = step;
}

bool replaceFileContents(const std::string& path, std::string_view contents) {
  if (path.empty())
    return false;
  const std::string target = resolvedTarget(path);
  const std::string temp = replacementTempPath(target);
  // A file the user made read-only stays as it is, as it would with a write in place.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
    return false;

  // O_NOFOLLOW: a link planted under the temporary name must not redirect the write.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0)
    return false;
  // The replacement keeps the permissions of the file it replaces.
  struct stat original {};
  if (::stat(target.c_str(), &original) == 0)
    ::fchmod(fd, original.st_mode & 07777);

  bool ok = writeAll(fd, contents) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) {
    ok = replaceStepForTesting != nullptr ? replaceStepForTesting(temp, target)
                                          : ::rename(temp.c_str(), target.c_str()) == 0;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  syncDirectory(target);
  return true;
}

}  // namespace k4
