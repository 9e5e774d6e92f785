// Files through the W calls. A replaced file is written beside its target and moved over it
// (MoveFileExW with REPLACE_EXISTING | WRITE_THROUGH): a reader sees the old or the new content,
// never a mix, and a crash leaves at worst a stray temporary file.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "Pause.h"
#include "WideText.h"
#include "tbx/FileUtil.h"

namespace tbx {
namespace {

using windows::Widen;

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now, reporting the result; later destruction does nothing.
  bool Close() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle);
  }

 private:
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE handle_;  // owned, or INVALID_HANDLE_VALUE
};

bool WriteAll(HANDLE file, const std::string& content) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr)) {
      return false;
    }
    data += written;
    left -= written;
  }
  return true;
}

// Cuts the file back to `size` bytes through a second handle: an appending handle cannot
// move the end of its file.
void CutBack(const std::wstring& path, LARGE_INTEGER size) {
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.valid() && ::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN)) {
    ::SetEndOfFile(file.get());
  }
}

// Appends `content` whole or not at all: a write that stops part-way (a full disk) is cut back
// off, so a reader never meets half a record. The caller serialises the appenders of one file;
// a cut would take another appender's bytes with it.
bool AppendToFile(const std::string& path, const std::string& content) {
  const std::wstring wide = Widen(path);
  ScopedHandle file(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    return false;
  }
  LARGE_INTEGER before;
  if (!::GetFileSizeEx(file.get(), &before)) {
    return false;
  }
  if (!WriteAll(file.get(), content)) {
    DWORD error = ::GetLastError();
    file.Close();
    CutBack(wide, before);
    ::SetLastError(error);
    return false;
  }
  return file.Close();
}

// A reader that opened the target without FILE_SHARE_DELETE (as the C++ streams do) makes the
// move fail with a sharing violation (access denied under Wine) until it closes the file.
// Readers hold it briefly, so the move is tried again for up to 2 s before the write fails. The
// limit is measured, not counted in sleeps: a sleep lasts a whole timer tick (15.6 ms on many
// systems), not the millisecond asked for.
bool MoveOver(const std::wstring& temporary, const std::wstring& target) {
  constexpr ULONGLONG kRetryMs = 2000;
  const ULONGLONG start = ::GetTickCount64();  // monotonic
  for (;;) {
    if (::MoveFileExW(temporary.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
        ::GetTickCount64() - start >= kRetryMs) {
      ::SetLastError(error);
      return false;
    }
    Pause::For(1);
  }
}

bool ReplaceFileContent(const std::string& path, const std::string& content) {
  std::wstring target = Widen(path);
  DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return false;
  }
  static std::atomic<uint32_t> counter{0};
  std::wstring temporary = target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                           std::to_wstring(counter.fetch_add(1));
  ScopedHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    return false;
  }
  bool ok = WriteAll(file.get(), content) && ::FlushFileBuffers(file.get());
  ok = file.Close() && ok;
  if (ok && MoveOver(temporary, target)) {
    return true;
  }
  DWORD error = ::GetLastError();
  ::DeleteFileW(temporary.c_str());
  ::SetLastError(error);
  return false;
}

}  // namespace

bool CFileUtil::IsFile(const std::string& path) {
  if (path.empty()) {
    return false;
  }
  DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CFileUtil::ReadFileLineToList(const std::string& path, std::vector<std::string>& lines,
                                   size_t maxLines) {
  if (!IsFile(path)) {
    return false;
  }
  FILE* file = ::_wfopen(Widen(path).c_str(), L"rb");
  if (file == nullptr) {
    return false;
  }
  // Lines end at "\n" (a "\r" before it is dropped); a last line without one still counts.
  std::string line;
  bool pending = false;  // line holds text of a line not yet ended
  size_t added = 0;
  char buffer[4096];
  size_t got;
  while (added < maxLines && (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    for (size_t i = 0; i < got && added < maxLines; ++i) {
      if (buffer[i] != '\n') {
        line.push_back(buffer[i]);
        pending = true;
        continue;
      }
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      lines.push_back(std::move(line));
      line.clear();
      pending = false;
      ++added;
    }
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (pending && added < maxLines) {
    lines.push_back(std::move(line));
  }
  return !failed;
}

bool CFileUtil::RemoveFile(const std::string& path) {
  return !path.empty() && ::DeleteFileW(Widen(path).c_str());
}

bool CFileUtil::WriteNewFile(const std::string& path, const std::string& content, bool append) {
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return append ? AppendToFile(path, content) : ReplaceFileContent(path, content);
}

}  // namespace tbx
