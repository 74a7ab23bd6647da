// CHFile: the support library's file object on a C-library stream.
#include "common/CHFile.h"

#include <sys/types.h>

#include "platform/files.h"
#include "platform/text.h"

namespace {

const char* OrDefault(const char* mode, const char* fallback) {
    return mode != nullptr ? mode : fallback;
}

}  // namespace

CHFile::CHFile() = default;

CHFile::CHFile(const CStr& name, bool writeFlag, const char* readMode, const char* writeMode)
    : name_(name),
      writeFlag_(writeFlag),
      readMode_(OrDefault(readMode, "rb")),
      writeMode_(OrDefault(writeMode, "r+b")) {}

CHFile::~CHFile() { Close(); }

std::string CHFile::FileSystemName() const {
    if (name_.Length() == 0) return std::string();
    return platform::ToUtf8(name_.Wide(), static_cast<size_t>(name_.Length()));
}

bool CHFile::Open() {
    Close();
    const std::string path = FileSystemName();
    if (path.empty()) return false;
    const std::string& mode = ActiveMode();
    if (!mode.empty() && mode[0] != 'r') ++changeCount_;  // "w" truncates, "a" may create
    stream_ = std::fopen(path.c_str(), mode.c_str());
    if (stream_ == nullptr && writeFlag_) {
        // A missing file is created empty, then opened in the write mode like an existing one.
        FILE* created = std::fopen(path.c_str(), "a+");
        if (created != nullptr) {
            std::fclose(created);
            ++changeCount_;
            stream_ = std::fopen(path.c_str(), mode.c_str());
        }
    }
    if (stream_ == nullptr) return false;
    ++openCount_;
    return true;
}

bool CHFile::OpenAs(const CStr& name, bool writeFlag, const char* readMode,
                    const char* writeMode) {
    name_ = name;
    writeFlag_ = writeFlag;
    readMode_ = OrDefault(readMode, "rb");
    writeMode_ = OrDefault(writeMode, "r+b");
    return Open();
}

bool CHFile::SetWriteMode(bool writeFlag) {
    if (writeFlag == writeFlag_) return IsOpen();
    writeFlag_ = writeFlag;
    return Open();
}

void CHFile::Close() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    pendingPos_ = -1;
    pendingEof_ = false;
    lastWasRead_ = false;
    lastWasWrite_ = false;
}

void CHFile::SetName(const CStr& name) { name_ = name; }

// --- logical position ---------------------------------------------------------------------

void CHFile::SetLogicalPos(int64_t pos, bool eof) {
    if (stream_ == nullptr) return;
    pendingPos_ = pos < 0 ? 0 : pos;
    pendingEof_ = eof;
}

bool CHFile::LogicalPos(int64_t& pos, bool& eof) {
    if (stream_ == nullptr) return false;
    if (pendingPos_ >= 0) {
        pos = pendingPos_;
        eof = pendingEof_;
        return true;
    }
    const off_t at = ftello(stream_);
    if (at < 0) return false;
    pos = at;
    eof = std::feof(stream_) != 0;
    return true;
}

bool CHFile::ApplyPending() {
    if (pendingPos_ < 0) return true;
    const int64_t pos = pendingPos_;
    const bool eof = pendingEof_;
    pendingPos_ = -1;
    pendingEof_ = false;
    lastWasRead_ = false;
    lastWasWrite_ = false;
    if (fseeko(stream_, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
    if (eof) {
        // A read that ran into the end of the file leaves the indicator set; so does this one.
        const int c = std::getc(stream_);
        if (c != EOF) std::ungetc(c, stream_);
        lastWasRead_ = true;
    }
    return true;
}

bool CHFile::SyncForRead() {
    if (stream_ == nullptr) return false;
    if (pendingPos_ >= 0) {
        ApplyPending();
    } else if (lastWasWrite_) {
        // The C library wants a positioning call between writing and reading.
        fseeko(stream_, 0, SEEK_CUR);
    }
    lastWasWrite_ = false;
    lastWasRead_ = true;
    return true;
}

bool CHFile::SyncForWrite() {
    if (stream_ == nullptr) return false;
    if (pendingPos_ >= 0) {
        pendingEof_ = false;  // writing goes to the position; the indicator is of no use there
        ApplyPending();
    } else if (lastWasRead_) {
        fseeko(stream_, 0, SEEK_CUR);
    }
    lastWasRead_ = false;
    lastWasWrite_ = true;
    ++changeCount_;
    return true;
}

// --- positioning ----------------------------------------------------------------------------

bool CHFile::GetPos(CFilePos& pos) {
    pos.Clear();
    if (stream_ == nullptr) return false;
    if (pendingPos_ >= 0) {
        pos.SetValue(pendingPos_);
        return true;
    }
    const off_t at = ftello(stream_);
    if (at < 0) return false;
    pos.SetValue(at);
    return true;
}

bool CHFile::SetPos(const CFilePos& pos) {
    if (stream_ == nullptr) return false;
    pendingPos_ = -1;
    pendingEof_ = false;
    lastWasRead_ = false;
    lastWasWrite_ = false;
    return fseeko(stream_, static_cast<off_t>(pos.Value()), SEEK_SET) == 0;
}

bool CHFile::Seek(int64_t offset, int origin) {
    if (stream_ == nullptr) return false;
    if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return false;
    ApplyPending();
    lastWasRead_ = false;
    lastWasWrite_ = false;
    return fseeko(stream_, static_cast<off_t>(offset), origin) == 0;
}

// --- reading --------------------------------------------------------------------------------

char* CHFile::ReadLine(char* buffer, int size) {
    if (stream_ == nullptr || buffer == nullptr || size < 1) return nullptr;
    SyncForRead();
    return std::fgets(buffer, size, stream_);
}

int CHFile::ReadChar() {
    if (stream_ == nullptr) return EOF;
    SyncForRead();
    return std::getc(stream_);
}

int CHFile::ReadBytes(void* buffer, int count) {
    if (stream_ == nullptr || buffer == nullptr || count <= 0) return 0;
    SyncForRead();
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), stream_));
}

// --- writing --------------------------------------------------------------------------------

int CHFile::WriteText(const char* text) {
    if (stream_ == nullptr || text == nullptr) return EOF;
    SyncForWrite();
    return std::fputs(text, stream_);
}

int CHFile::WriteChar(int c) {
    if (stream_ == nullptr) return EOF;
    SyncForWrite();
    return std::fputc(c, stream_);
}

int CHFile::WriteBytes(const void* buffer, int count) {
    if (stream_ == nullptr || buffer == nullptr || count <= 0) return 0;
    SyncForWrite();
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(count), stream_));
}

int CHFile::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = PrintfV(format, args);
    va_end(args);
    return written;
}

int CHFile::PrintfV(const char* format, va_list args) {
    if (stream_ == nullptr || format == nullptr) return 0;
    SyncForWrite();
    return std::vfprintf(stream_, format, args);
}

bool CHFile::Commit() {
    if (stream_ == nullptr) return false;
    ApplyPending();
    return platform::CommitFile(stream_);
}

bool CHFile::CutAtPosition() {
    if (stream_ == nullptr) return false;
    if (!Commit()) return false;
    // The whole 64-bit position: cutting at its low 32 bits would cut a file past 2 GB wrongly.
    const off_t at = ftello(stream_);
    if (at < 0) return false;
    ++changeCount_;
    return platform::TruncateFile(stream_, at);
}

bool CHFile::AtEnd() {
    if (stream_ == nullptr) return true;
    if (pendingPos_ >= 0) return pendingEof_;
    return std::feof(stream_) != 0;
}

int64_t CHFile::FileSize() {
    if (stream_ != nullptr) {
        CFilePos saved;
        if (!GetPos(saved)) return -1;
        if (fseeko(stream_, 0, SEEK_END) != 0) return -1;
        const off_t size = ftello(stream_);
        SetPos(saved);
        return size < 0 ? -1 : size;
    }
    // Closed: opened for reading only, so asking the size never creates the file.
    const std::string path = FileSystemName();
    if (path.empty()) return -1;
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return -1;
    off_t size = -1;
    if (fseeko(stream, 0, SEEK_END) == 0) size = ftello(stream);
    std::fclose(stream);
    return size < 0 ? -1 : size;
}

// --- file system ----------------------------------------------------------------------------

bool CHFile::Exists() {
    Close();
    if (name_.Length() == 0) return false;
    const uint32_t attributes = platform::GetFileAttributes(name_.Wide());
    return attributes != platform::kInvalidFileAttributes &&
           (attributes & platform::kFileAttributeDirectory) == 0;
}

bool CHFile::DirExists() {
    Close();
    if (name_.Length() == 0) return false;
    const uint32_t attributes = platform::GetFileAttributes(name_.Wide());
    return attributes != platform::kInvalidFileAttributes &&
           (attributes & platform::kFileAttributeDirectory) != 0;
}

bool CHFile::Rename(const CStr& newName) {
    Close();
    bool moved = false;
    if (name_.Length() > 0 && newName.Length() > 0) {
        CStr to(newName);
        moved = platform::MoveFile(name_.Wide(), to.Wide());
    }
    name_ = newName;
    ++changeCount_;
    return moved;
}

bool CHFile::Delete() {
    Close();
    if (name_.Length() == 0) return false;
    ++changeCount_;
    return platform::DeleteFile(name_.Wide());
}
