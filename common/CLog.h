// CLog: the support library's log file.
//
// Lines are time-stamped, gathered in a 4096-byte buffer and written in blocks to the current
// log B + ".L00" (B: the base path, without extension), to standard output and/or to the
// Output() hook. A size check moves a log grown past its maximum size to B + ".L01" (replacing
// the older one) and shifts the archives B + "L01.zip" .. B + "Lnn.zip" up by one; with an
// archiver set (the CE build), a detached thread then zips B + ".L01" into B + "L01.zip" and
// deletes B + ".L01".
//
// Nothing is reported: a log whose file cannot be opened loses the text meant for the file.
// Lines are cut at 1024 characters (the newline is kept), event texts at 80 characters, dump
// renderings at 1024 characters; a block longer than the buffer is written out directly.
//
// Thread-safety: every public operation takes the log's critical section, so several threads may
// log through one CLog. Configuration setters are meant for the owning thread before logging.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "common/CDate.h"
#include "common/CHFile.h"
#include "common/CStr.h"
#include "common/CTimer.h"
#include "platform/lock.h"

class CLog : public CHFile {
public:
    // The prefix of each line. Any other value gives lines without prefix.
    enum TimeStampType : int16_t {
        kNoTimeStamp = 0,
        kElapsedTimeStamp = 1,      // "%6dms ", plus a ****TIME line once a minute
        kDateTimeStamp = 2,         // "dd/MM/yyyy HH:mm:ss "
        kDateTimeElapsedStamp = 3,  // "dd/MM/yyyy HH:mm:ss %6dms "
    };

    static constexpr int kLineSize = 1024;       // a line, newline included
    static constexpr int kBufferSize = 4096;     // the line buffer
    static constexpr int kEventTextSize = 80;    // the caller's text of an event record
    static constexpr int kDumpSize = 1024;       // the rendering of a byte dump
    static constexpr int kDateTimeSize = 80;     // the date-time text
    static constexpr uint32_t kPollFlushMs = 500;
    static constexpr int kTimeLineSeconds = 60;

    // path: the base path B. version: shown in the start, stop and time lines (empty: none of
    // them). maxSize: bytes above which the size check rotates the log. archiveCount: the highest
    // archive number kept. writeStart: write the start line and run the size check now. keepOpen:
    // hold the file open between writes. archiver: the archiver program started after a rotation
    // (null or empty: none, the desktop behaviour; the CE build passes ArchiverPath()).
    CLog(const CStr& path, const CStr& version, TimeStampType timeStampType, uint32_t maxSize,
         uint16_t archiveCount, bool writeStart, bool keepOpen, const char* archiver = nullptr);

    // Receives every block that leaves the buffer while hook output is on. Does nothing here.
    // (Calls made from ~CLog reach only this version.)
    virtual void Output(const char* text);
    // Writes the buffer out, appends "<date-time> ****STOP <version>" straight to the file and
    // closes it.
    virtual ~CLog();
    // Does nothing.
    virtual void Idle() {}
    // Returns 0.
    virtual int Status() { return 0; }

    // One line, whatever the detail level.
    void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void WriteV(const char* format, va_list args);
    // One line when level is not above the detail level; nothing otherwise.
    void WriteLevel(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // "<date-time> ***ERROR line <line> in <<source>> <text>", whatever the time-stamp type.
    void WriteError(int line, const char* source, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // One CSV event record, then the size check. a is shown as six hex digits for category 5.
    void WriteEvent(int category, int event, int a, int b, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    // "<prefix> Len <length> <text> <number> <rendering>" (number left out when negative).
    // kind 1 shows the digits '0'..'9' as text, kind 2 the bytes 32..125; every other byte is
    // shown in hex: 02 31 32 03 with kind 1 renders as [02]"12"[03].
    void WriteDump(const char* prefix, const char* text, const uint8_t* bytes, int length,
                   int number, int kind);

    // Flush() when lines are pending and the last one was added at least 500 ms ago.
    void Poll();
    // Writes the buffer out; with the file open, commits it to disk and runs the size check;
    // flushes standard output when console output is on.
    void Flush();

    // File output on: the file name becomes B + ".L00" (opened now with keep file open).
    // Off: the file is closed. The buffer is written out first either way.
    void SetFileOutput(bool on);
    void SetConsoleOutput(bool on);
    void SetHookOutput(bool on);
    void SetEnabled(bool on) { enabled_ = on; }
    void SetLevel(uint8_t level) { level_ = level; }
    // Written instead of the start line when not empty.
    void SetHeader(const CStr& header) { header_ = header; }
    // The archiver program started after each rotation; null or empty turns it off.
    void SetArchiver(const char* archiver);

    uint8_t Level() const { return level_; }
    bool FileOutput() const { return fileOutput_; }
    const CStr& BasePath() const { return basePath_; }

    // $TALVORNE_ROOT/pellix, the archiver of the CE build.
    static std::string ArchiverPath();

    // Test seam: the source of "now" for date-time texts and the once-a-minute time line.
    // Null restores the computer's local time. Process-wide; not for use while logging.
    using NowSource = CDate (*)();
    static void SetNowSource(NowSource source);

protected:
    // The start line: the header text when set, else "<date-time> ***START <version>" (nothing
    // when both are empty). The constructor writes it when asked to.
    void WriteStartLine();

private:
    bool Active() const { return enabled_ && (consoleOutput_ || fileOutput_ || hookOutput_); }
    static CDate Now();
    // The date-time text into out (kDateTimeSize + 1 bytes); stamp: it becomes the time of the
    // last time stamp.
    void DateTime(char* out, bool stamp);
    // Seconds since the last time stamp (a null one is set to now and gives 0).
    int64_t SecondsSinceStamp();
    // Formats the caller's text after `used` prefix characters and appends the line.
    void FinishLine(char* line, int used, const char* format, va_list args);
    void Append(const char* text, int length);
    void WriteOut();
    void WriteBlock(const char* text, int length);
    void CheckSize();
    void Rotate();
    void StartArchiver();

    CStr basePath_;
    CStr version_;
    CStr header_;
    bool enabled_ = true;
    CDate lastStamp_;
    TimeStampType timeStampType_;
    CTimer lineTimer_;
    uint32_t maxSize_;
    uint16_t archiveCount_;
    bool consoleOutput_ = false;
    bool fileOutput_ = true;
    bool keepOpen_;
    uint8_t level_ = 1;
    platform::CriticalSection section_;
    char buffer_[kBufferSize + 1];
    int fill_ = 0;
    bool pending_ = false;
    CTimer flushTimer_;
    bool hookOutput_ = false;
    std::string archiver_;
};
