#include "tbx/FileUtil.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PosixIo.h"
#include "tbx/ToolUtil.h"

namespace tbx {
namespace {

// Mode for a new file: that of the file it replaces, else 0644.
mode_t ReplacementMode(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    return info.st_mode & 07777;
  }
  return 0644;
}

// Makes a completed rename durable: the directory entry reaches the disk too.
void SyncDirectory(const std::string& path) {
  std::string dir = CToolUtil::GetFileDirPath(path);
  int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Appends `content` whole or not at all: a write that stops part-way (a full disk, a file-size
// limit) is cut back off, so a reader never meets half a record. The caller serialises the
// appenders of one file; a cut would take another appender's bytes with it.
bool AppendToFile(const std::string& path, const std::string& content) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  posix::ScopedFd closer(fd);
  struct stat before;
  if (::fstat(fd, &before) != 0) {
    return false;
  }
  if (!posix::WriteAll(fd, content.data(), content.size())) {
    int error = errno;
    (void)!::ftruncate(fd, before.st_size);
    errno = error;
    return false;
  }
  return closer.Close();
}

// Writes a temporary file beside `path` and renames it over `path`: a reader sees the old or
// the new content, never a mix, and a crash leaves at worst a stray temporary file.
bool ReplaceFileContent(const std::string& path, const std::string& content) {
  struct stat target;
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    errno = EISDIR;
    return false;
  }
  std::string temporary = path + ".tmpXXXXXX";
  int fd = ::mkostemp(&temporary[0], O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  posix::ScopedFd closer(fd);
  bool ok = ::fchmod(fd, ReplacementMode(path)) == 0 &&
            posix::WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
  ok = closer.Close() && ok;
  if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) {
    SyncDirectory(path);
    return true;
  }
  int error = errno;
  ::unlink(temporary.c_str());
  errno = error;
  return false;
}

}  // namespace

bool CFileUtil::IsFile(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool CFileUtil::ReadFileLineToList(const std::string& path, std::vector<std::string>& lines,
                                   size_t maxLines) {
  if (!IsFile(path)) {
    return false;
  }
  FILE* file = ::fopen(path.c_str(), "rbe");
  if (file == nullptr) {
    return false;
  }
  char* buffer = nullptr;
  size_t capacity = 0;
  size_t added = 0;
  ssize_t length;
  while (added < maxLines && (length = ::getline(&buffer, &capacity, file)) >= 0) {
    std::string line(buffer, static_cast<size_t>(length));
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
    }
    lines.push_back(std::move(line));
    ++added;
  }
  bool failed = ::ferror(file) != 0;
  ::free(buffer);
  ::fclose(file);
  return !failed;
}

bool CFileUtil::RemoveFile(const std::string& path) {
  return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool CFileUtil::WriteNewFile(const std::string& path, const std::string& content, bool append) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  return append ? AppendToFile(path, content) : ReplaceFileContent(path, content);
}

}  // namespace tbx
