// CHFile: a named file on a C-library stream, and CFilePos, the stream position it hands out.
//
// The file is opened in one of two modes (the write flag picks the write mode, else the read
// mode). Every operation except Open, OpenAs, SetWriteMode, Exists, DirExists, Rename, Delete and
// FileSize does nothing and returns false, 0 or null while the file is closed. Nothing throws;
// failures show only in the results. The object owns its stream: destruction closes it.
// Not thread-safe: one CHFile belongs to one thread at a time.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/CStr.h"

// One stream position (64 bits). Created and cleared as 0; its low 32 bits read as an int, and it
// is set from a 32-bit signed int with sign extension.
class CFilePos {
public:
    CFilePos() = default;
    explicit CFilePos(int32_t value) : value_(value) {}

    CFilePos& operator=(int32_t value) { value_ = value; return *this; }
    operator int32_t() const { return static_cast<int32_t>(static_cast<uint32_t>(value_)); }

    void Clear() { value_ = 0; }
    int64_t Value() const { return value_; }
    void SetValue(int64_t value) { value_ = value; }

private:
    int64_t value_ = 0;
};

class CHFile {
public:
    enum Origin { kBegin = SEEK_SET, kCurrent = SEEK_CUR, kEnd = SEEK_END };

    // No name, write flag false, modes "rb" and "r+b". Nothing is opened.
    CHFile();
    // Stores the four values; nothing is opened. Null modes stand for the defaults.
    CHFile(const CStr& name, bool writeFlag, const char* readMode = "rb",
           const char* writeMode = "r+b");
    CHFile(const CHFile&) = delete;
    CHFile& operator=(const CHFile&) = delete;
    ~CHFile();

    // Closes the file if open, then opens the name with the write mode when the write flag is set,
    // else with the read mode. In write mode a missing file is created first ("a+", closed, opened
    // again with the write mode). Returns whether the file is open.
    bool Open();
    // Stores name, write flag and modes (null modes: defaults), then Open().
    bool OpenAs(const CStr& name, bool writeFlag, const char* readMode = "rb",
                const char* writeMode = "r+b");
    // Same flag as now: nothing. Else stores it and Open(). Returns whether the file is open.
    bool SetWriteMode(bool writeFlag);
    void Close();
    bool IsOpen() const { return stream_ != nullptr; }

    // Stores the name; does not open or close.
    void SetName(const CStr& name);
    const CStr& Name() const { return name_; }
    bool WriteFlag() const { return writeFlag_; }

    // Positioning. True on success; false when closed or the C library refuses.
    bool GetPos(CFilePos& pos);           // clears pos, then reads the stream position into it
    bool SetPos(const CFilePos& pos);
    bool Seek(int64_t offset, int origin); // origin: kBegin, kCurrent or kEnd

    // Reads one line with its line end, at most size - 1 characters, zero-terminated.
    // Returns buffer, or null at end of file, when closed or for a size below 1.
    char* ReadLine(char* buffer, int size);
    int ReadChar();                        // the character, or EOF (-1)
    int ReadBytes(void* buffer, int count);  // bytes read (0 when closed)

    // Writes; the C library's result (fputs / fputc / bytes written). Closed: -1, -1, 0.
    int WriteText(const char* text);
    int WriteChar(int c);
    int WriteBytes(const void* buffer, int count);
    // Formatted write; characters written (0 when closed, negative on a write error).
    int Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int PrintfV(const char* format, va_list args);

    // Flushes the stream and commits the file to disk. True when both succeed.
    bool Commit();
    // Commit(), then cuts the file at the current position (its low 32 bits). True on success.
    bool CutAtPosition();
    // True when closed or when the stream's end-of-file indicator is set.
    bool AtEnd();
    // Length in bytes, or -1. Open: position saved and restored. Closed: opened and closed again.
    int64_t FileSize();

    // These close the file first and work on the name (empty name: false).
    bool Exists();                         // exists and is not a directory
    bool DirExists();                      // exists and is a directory
    // Moves the file to newName; the new name is stored whether or not the move succeeded.
    bool Rename(const CStr& newName);
    bool Delete();

protected:
    // The name as the file system sees it (UTF-8 of the wide text).
    std::string FileSystemName() const;
    // The mode Open() uses now.
    const std::string& ActiveMode() const { return writeFlag_ ? writeMode_ : readMode_; }

    // Position bookkeeping for classes that read the file's contents without the stream (CINIFile
    // serves reads from memory). SetLogicalPos records where the stream should stand and whether
    // its end-of-file indicator should be set; the stream is moved there before the next
    // operation that uses it, so callers of the public interface see no difference.
    void SetLogicalPos(int64_t pos, bool eof);
    // The position and end-of-file state the stream has, or will have once synced. False: closed.
    bool LogicalPos(int64_t& pos, bool& eof);
    // Applies a pending logical position to the stream and switches the stream between reading
    // and writing as the C library requires. False when closed.
    bool SyncForRead();
    bool SyncForWrite();
    // Counts every change made to the file through this object (writes, cuts, opens that create,
    // renames, deletes), so a cache of the contents can tell that it went stale.
    uint64_t ChangeCount() const { return changeCount_; }
    // Counts the streams Open() has opened, so a cache can tell one stream from the next.
    uint64_t OpenCount() const { return openCount_; }

    FILE* stream_ = nullptr;
    CStr name_;
    bool writeFlag_ = false;
    std::string readMode_ = "rb";
    std::string writeMode_ = "r+b";

private:
    bool ApplyPending();

    int64_t pendingPos_ = -1;   // -1: none
    bool pendingEof_ = false;
    bool lastWasWrite_ = false;
    bool lastWasRead_ = false;
    uint64_t changeCount_ = 0;
    uint64_t openCount_ = 0;
};
