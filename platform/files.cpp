// Win32-style file operations on UTF-16 names, over POSIX calls on their UTF-8 form.
#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/text.h"

namespace platform {
namespace {

std::string Narrow(const char16_t* name) { return ToUtf8(name, U16Length(name)); }

// rename() that refuses to replace an existing target. Linux's renameat2 does it atomically;
// where the file system lacks it, link + unlink is equally refusing, and a last check-then-rename
// serves file systems without hard links (directories, FAT).
bool RenameNoReplace(const std::string& from, const std::string& to) {
#if defined(SYS_renameat2)
    constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    if (link(from.c_str(), to.c_str()) == 0) {
        if (unlink(from.c_str()) == 0) return true;
        unlink(to.c_str());
        return false;
    }
    if (errno == EEXIST || errno == ENOENT) return false;
    struct stat target;
    if (lstat(to.c_str(), &target) == 0) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool MoveFile(const char16_t* from, const char16_t* to) {
    if (from == nullptr || to == nullptr || *from == 0 || *to == 0) return false;
    return RenameNoReplace(Narrow(from), Narrow(to));
}

bool DeleteFile(const char16_t* name) {
    if (name == nullptr || *name == 0) return false;
    const std::string path = Narrow(name);
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    return unlink(path.c_str()) == 0;
}

uint32_t GetFileAttributes(const char16_t* name) {
    if (name == nullptr || *name == 0) return kInvalidFileAttributes;
    struct stat info;
    if (stat(Narrow(name).c_str(), &info) != 0) return kInvalidFileAttributes;
    return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

bool CommitFile(FILE* stream) {
    if (stream == nullptr) return false;
    if (std::fflush(stream) != 0) return false;
    const int fd = fileno(stream);
    return fd >= 0 && fsync(fd) == 0;
}

bool TruncateFile(FILE* stream, int64_t size) {
    if (stream == nullptr || size < 0) return false;
    if (std::fflush(stream) != 0) return false;
    const int fd = fileno(stream);
    return fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
}

}  // namespace platform
