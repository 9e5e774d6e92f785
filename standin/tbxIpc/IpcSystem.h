// tbxIpc: the file, environment, random and thread services the library needs, one
// implementation per system (posix/, windows/). Paths and values are UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace ipc::sys {

// The value of environment variable `name`, "" when unset.
std::string Environment(const char* name);

// The directory holding the tbxIpc library itself.
std::string LibraryDirectory();

// Private, here and below: reachable by the current user alone (on Windows also by SYSTEM and
// the Administrators, who can reach every file there anyway).

// Creates `dir` private, or makes an existing one so. False, with the reason in `why`, when
// that cannot be done (on POSIX also when it belongs to another user).
bool MakePrivateDirectory(const std::string& dir, std::string* why);

enum class ReadResult { kRead, kAbsent, kFailed };
// Reads at most `limit` bytes of the regular file at `path` into `content`. kAbsent when
// there is no regular file there.
ReadResult ReadSmallFile(const std::string& path, size_t limit, std::string* content,
                         std::string* why);

// Replaces `path` with a private file holding `content`, through a temporary file beside it,
// so a reader sees the old file or the new one, never a part.
bool ReplaceFileContent(const std::string& path, const std::string& content, std::string* why);

// Removes the file at `path`; a missing file is no failure.
void RemoveFile(const std::string& path);

// Fills `size` bytes from the system's random generator; false when it cannot.
bool RandomBytes(void* buffer, size_t size, std::string* why);

// Names the calling thread for the system's tools (at most 15 characters are kept).
void NameCurrentThread(const char* name);

}  // namespace ipc::sys
