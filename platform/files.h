// File operations on wide (UTF-16) names, the way the Win32 calls behave.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;

// Moves a file; fails (false) when `to` exists or `from` does not.
bool MoveFile(const char16_t* from, const char16_t* to);
// Deletes a file (not a directory); false when it could not be deleted.
bool DeleteFile(const char16_t* name);
// kInvalidFileAttributes when the name does not exist; else directory or normal.
uint32_t GetFileAttributes(const char16_t* name);
// Flushes the stream and commits the file to disk (fflush + fsync). True when both succeed.
bool CommitFile(FILE* stream);
// Cuts the file under the stream at `size` bytes. True on success.
bool TruncateFile(FILE* stream, int64_t size);

}  // namespace platform
