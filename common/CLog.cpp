#include "common/CLog.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/paths.h"
#include "platform/process.h"

namespace {

constexpr const char16_t* kDatePicture = u"dd'/'MM'/'yyyy";
constexpr const char16_t* kTimePicture = u"HH':'mm':'ss";
constexpr int kArchiverStartDelayMs = 100;
constexpr int kArchiverPollMs = 100;

const char* const kCategoryCodes[] = {"SRVC", "PUMP", "TANK", "HOSE", "GRAD", "VQID",
                                      "ATTD", "CARD", "PORT", "PROC", "POS ", "ATG ",
                                      "SENS", "PRSG", "PROD", "MVC ", "USER"};
const char* const kEventCodes[] = {"INIT", "TERM", "STRT", "STOP", "SPST", "ADD ", "DEL ",
                                   "EDIT", "PRIC", "OFPR", "OFLN", "EREV", "VQER", "MEM ",
                                   "RSET", "MVC",  "CLSH", "CLDY", "CLMT"};
constexpr const char* kUnknownCode = "*UNK";

template <size_t N>
const char* Code(const char* const (&table)[N], int index) {
    return index >= 0 && static_cast<size_t>(index) < N ? table[index] : kUnknownCode;
}

// The number of characters snprintf-style output left in an area of `size` bytes.
int Stored(int result, int size) {
    if (result < 0) return 0;
    return result >= size ? size - 1 : result;
}

CLog::NowSource g_nowSource = nullptr;

// Renders a byte dump into out (size bytes, at most size - 1 characters); see WriteDump.
void RenderDump(char* out, int size, const uint8_t* bytes, int length, int kind) {
    enum { kNone, kHex, kText } state = kNone;
    int used = 0;
    auto put = [&](char c) {
        if (used < size - 1) out[used++] = c;
    };
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; bytes != nullptr && i < length && used < size - 1; ++i) {
        const uint8_t b = bytes[i];
        const bool text = (kind == 1 && b >= '0' && b <= '9') || (kind == 2 && b >= 32 && b <= 125);
        if (text) {
            if (state == kHex) put(']');
            if (state != kText) put('"');
            put(static_cast<char>(b));
            state = kText;
        } else {
            if (state == kText) put('"');
            put(state == kHex ? ' ' : '[');
            put(kDigits[b >> 4]);
            put(kDigits[b & 0x0F]);
            state = kHex;
        }
    }
    if (state == kHex) put(']');
    if (state == kText) put('"');
    out[used] = '\0';
}

}  // namespace

CLog::CLog(const CStr& path, const CStr& version, TimeStampType timeStampType, uint32_t maxSize,
           uint16_t archiveCount, bool writeStart, bool keepOpen, const char* archiver)
    : CHFile(path, true, "rt", "a+t"),
      basePath_(path),
      version_(version),
      timeStampType_(timeStampType),
      maxSize_(maxSize),
      archiveCount_(archiveCount),
      keepOpen_(keepOpen) {
    buffer_[0] = '\0';
    SetArchiver(archiver);
    SetFileOutput(true);
    if (writeStart) {
        WriteStartLine();
        CheckSize();
    } else {
        lastStamp_ = Now();
    }
}

CLog::~CLog() {
    platform::CriticalSectionLock lock(section_);
    WriteOut();
    if (fileOutput_) {
        if (!IsOpen()) Open();
        if (IsOpen()) {
            char stamp[kDateTimeSize + 1];
            DateTime(stamp, true);
            Printf("%s ****STOP <%s>\n", stamp, version_.Narrow());
            WriteOut();
            Close();
        }
    }
    consoleOutput_ = false;
    fileOutput_ = false;
    hookOutput_ = false;
}

void CLog::Output(const char* /*text*/) {}

std::string CLog::ArchiverPath() { return platform::TalvorneRoot() + "/pellix"; }

void CLog::SetNowSource(NowSource source) { g_nowSource = source; }

CDate CLog::Now() {
    if (g_nowSource != nullptr) return g_nowSource();
    CDate now;
    now.SetNow();
    return now;
}

void CLog::SetArchiver(const char* archiver) {
    platform::CriticalSectionLock lock(section_);
    archiver_ = archiver != nullptr ? archiver : "";
}

void CLog::DateTime(char* out, bool stamp) {
    const CDate now = Now();
    if (stamp) lastStamp_ = now;
    now.Format(out, kDateTimeSize + 1, kDatePicture, kTimePicture);
}

int64_t CLog::SecondsSinceStamp() {
    const CDate now = Now();
    if (lastStamp_.IsNull()) {
        lastStamp_ = now;
        return 0;
    }
    return (now.Value() - lastStamp_.Value()) / CDate::FileTime2Seconds;
}

void CLog::Write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void CLog::WriteLevel(int level, const char* format, ...) {
    if (level > level_) return;
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void CLog::WriteV(const char* format, va_list args) {
    if (!Active()) return;
    platform::CriticalSectionLock lock(section_);
    char line[kLineSize + 1];
    char stamp[kDateTimeSize + 1];
    int used = 0;
    switch (timeStampType_) {
        case kElapsedTimeStamp: {
            const int ms = static_cast<int>(lineTimer_.Elapsed());
            if (version_.Length() > 0 && SecondsSinceStamp() >= kTimeLineSeconds) {
                DateTime(stamp, true);
                used = std::snprintf(line, kLineSize, "%s ****TIME <%s>\n%6dms ", stamp,
                                     version_.Narrow(), ms);
            } else {
                used = std::snprintf(line, kLineSize, "%6dms ", ms);
            }
            break;
        }
        case kDateTimeStamp:
            DateTime(stamp, true);
            used = std::snprintf(line, kLineSize, "%s ", stamp);
            break;
        case kDateTimeElapsedStamp: {
            const int ms = static_cast<int>(lineTimer_.Elapsed());
            DateTime(stamp, true);
            used = std::snprintf(line, kLineSize, "%s %6dms ", stamp, ms);
            break;
        }
        default:
            break;
    }
    lineTimer_.Restart();
    FinishLine(line, Stored(used, kLineSize), format, args);
}

void CLog::FinishLine(char* line, int used, const char* format, va_list args) {
    // line has kLineSize + 1 bytes: at most kLineSize - 1 characters of text, the newline, zero.
    if (used < kLineSize - 1 && format != nullptr) {
        used += Stored(std::vsnprintf(line + used, kLineSize - used, format, args), kLineSize - used);
    }
    line[used++] = '\n';
    line[used] = '\0';
    Append(line, used);
}

void CLog::WriteError(int line, const char* source, const char* format, ...) {
    if (!Active()) return;
    platform::CriticalSectionLock lock(section_);
    char text[kLineSize + 1];
    char stamp[kDateTimeSize + 1];
    DateTime(stamp, true);
    const int used = std::snprintf(text, kLineSize, "%s ***ERROR line %d in <%s> ", stamp, line,
                                   source != nullptr ? source : "");
    va_list args;
    va_start(args, format);
    FinishLine(text, Stored(used, kLineSize), format, args);
    va_end(args);
}

void CLog::WriteEvent(int category, int event, int a, int b, const char* format, ...) {
    if (!Active()) return;
    char text[kEventTextSize + 1] = "";
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    char stamp[kDateTimeSize + 1];
    DateTime(stamp, false);
    const char* categoryCode = Code(kCategoryCodes, category);
    const char* eventCode = Code(kEventCodes, event);
    char line[kLineSize + 1];
    int used;
    if (category == 5) {
        used = std::snprintf(line, sizeof line, "%s,%s,%s,%06X,%6d,\"%s\"\n", stamp, categoryCode,
                             eventCode, static_cast<unsigned>(a), b, text);
    } else {
        used = std::snprintf(line, sizeof line, "%s,%s,%s,%6d,%6d,\"%s\"\n", stamp, categoryCode,
                             eventCode, a, b, text);
    }
    platform::CriticalSectionLock lock(section_);
    Append(line, Stored(used, sizeof line));
    CheckSize();
}

void CLog::WriteDump(const char* prefix, const char* text, const uint8_t* bytes, int length,
                     int number, int kind) {
    if (!Active()) return;
    char rendering[kDumpSize + 1];
    RenderDump(rendering, sizeof rendering, bytes, length, kind);
    const char* lead = prefix != nullptr ? prefix : "";
    const char* space = lead[0] != '\0' ? " " : "";
    const char* body = text != nullptr ? text : "";
    if (number < 0) {
        Write("%s%sLen %03d %s %s", lead, space, length, body, rendering);
    } else {
        Write("%s%sLen %03d %s %02d %s", lead, space, length, body, number, rendering);
    }
}

void CLog::WriteStartLine() {
    char line[kLineSize + 1];
    if (header_.Length() > 0) {
        // The header may be longer than a line; Append writes such a block out directly.
        std::string text = header_.Narrow();
        text += '\n';
        Append(text.c_str(), static_cast<int>(text.size()));
    } else if (version_.Length() > 0) {
        char stamp[kDateTimeSize + 1];
        DateTime(stamp, true);
        int used = Stored(std::snprintf(line, kLineSize, "%s ***START <%s>", stamp,
                                        version_.Narrow()), kLineSize);
        line[used++] = '\n';
        line[used] = '\0';
        Append(line, used);
    }
}

void CLog::Append(const char* text, int length) {
    platform::CriticalSectionLock lock(section_);
    if (fill_ + length > kBufferSize) WriteOut();
    if (length > kBufferSize) {
        WriteBlock(text, length);
    } else {
        std::memcpy(buffer_ + fill_, text, length);
        fill_ += length;
        buffer_[fill_] = '\0';
    }
    pending_ = true;
    flushTimer_.Restart();
}

void CLog::WriteOut() {
    platform::CriticalSectionLock lock(section_);
    if (fill_ == 0) return;
    WriteBlock(buffer_, fill_);
    fill_ = 0;
    buffer_[0] = '\0';
}

void CLog::WriteBlock(const char* text, int length) {
    if (consoleOutput_) std::fwrite(text, 1, length, stdout);
    if (fileOutput_) {
        if (!IsOpen()) Open();
        if (IsOpen()) {
            WriteText(text);
            // The block reaches the file now, not when the stream's own buffer fills.
            std::fflush(stream_);
            if (!keepOpen_) Close();
        }
    }
    if (hookOutput_) Output(text);
}

void CLog::Poll() {
    platform::CriticalSectionLock lock(section_);
    if (pending_ && flushTimer_.Elapsed() >= kPollFlushMs) Flush();
}

void CLog::Flush() {
    platform::CriticalSectionLock lock(section_);
    WriteOut();
    pending_ = false;
    flushTimer_.Restart();
    if (fileOutput_ && IsOpen()) {
        Commit();
        CheckSize();
    }
    if (consoleOutput_) std::fflush(stdout);
}

void CLog::SetFileOutput(bool on) {
    platform::CriticalSectionLock lock(section_);
    // Lines gathered so far go where they were meant to go.
    WriteOut();
    fileOutput_ = on;
    if (!on) {
        Close();
    } else if (!IsOpen()) {
        CStr name(basePath_);
        name.Append(".L00");
        SetName(name);
        if (keepOpen_) Open();
    }
}

void CLog::SetConsoleOutput(bool on) {
    platform::CriticalSectionLock lock(section_);
    WriteOut();
    consoleOutput_ = on;
}

void CLog::SetHookOutput(bool on) {
    platform::CriticalSectionLock lock(section_);
    WriteOut();
    hookOutput_ = on;
}

void CLog::CheckSize() {
    platform::CriticalSectionLock lock(section_);
    if (!fileOutput_) return;
    if (!IsOpen() && !Open()) return;
    WriteOut();
    // Without keep file open the write-out closed the file again; the size needs it open.
    if (!IsOpen() && !Open()) return;
    Commit();
    Seek(0, kEnd);
    CFilePos pos;
    const bool known = GetPos(pos);
    if (!keepOpen_) Close();
    if (known && pos.Value() > static_cast<int64_t>(maxSize_)) Rotate();
}

void CLog::Rotate() {
    Close();
    const std::string base = basePath_.Narrow();
    CHFile other;
    CStr from;
    CStr to;
    for (int n = archiveCount_; n >= 2; --n) {
        to.Format("%sL%02d.zip", base.c_str(), n);
        from.Format("%sL%02d.zip", base.c_str(), n - 1);
        other.SetName(to);
        other.Delete();
        other.SetName(from);
        other.Rename(to);
    }
    to.Format("%s.L01", base.c_str());
    from.Format("%s.L00", base.c_str());
    other.SetName(to);
    other.Delete();
    other.SetName(from);
    other.Rename(to);
    if (!archiver_.empty()) StartArchiver();
    SetName(from);
    if (keepOpen_) Open();
}

void CLog::StartArchiver() {
    const std::string base = basePath_.Narrow();
    const std::string program = archiver_;
    const bool started = platform::StartThread([base, program] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kArchiverStartDelayMs));
        const std::string commandLine =
            "-Q -C \"" + base + "L01.zip\" \"" + base + ".L01\"";
        const int pid = platform::StartProcess(program, platform::SplitCommandLine(commandLine));
        int exitCode = -1;
        if (pid != -1) {
            while (platform::ProcessRunning(pid, &exitCode)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kArchiverPollMs));
            }
        }
        // The previous log goes only once its zip exists: when the archiver could not run or
        // failed, .L01 stays (the next rotation replaces it, as on the desktop build).
        CHFile zip(CStr((base + "L01.zip").c_str()), false);
        if (exitCode == 0 && zip.Exists()) {
            CHFile log(CStr((base + ".L01").c_str()), false);
            log.Delete();
        }
    });
    (void)started;  // without a thread the previous log simply stays as it is
}
