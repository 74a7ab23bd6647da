// CINIFile: INI sections and keys on top of CHFile.
//
// How reads are served
// --------------------
// Every lookup behaves as if the file were closed, reopened and read line by line from the start
// (or from the remembered section or enumeration position) with fgets into the 1024-byte line
// buffer. Doing that literally makes reading a file of n sections O(n^2), so the object keeps:
//
//   - data_: a copy of the file's bytes, and
//   - headers_ / byName_: every header line of the file as fgets would cut it from the start
//     (pieces of at most 1023 bytes), with a map from the lower-cased header name to the first
//     header of that name.
//
// FindSection, FindKey, GetSectionName and GetSectionText read pieces of data_ into the line
// buffer exactly as fgets would, so the line buffer, the value pointer, the key, section and
// enumeration positions and the stream's position and end-of-file state end up as a line-by-line
// scan leaves them. A section lookup that the scan would answer from the start of the file is
// answered from byName_ (or, for names the map cannot answer - 77 characters or more, or with a
// "]" - from headers_); enumeration steps through headers_ when it resumes at a header it knows.
//
// The stream stays open between lookups instead of being reopened each time. That is invisible to
// callers because:
//   - before each lookup the name is stat()ed; device, inode, size, modification and change times
//     (nanoseconds) must match what the copy was taken from, or the file is really reopened and
//     the copy reloaded. A file replaced by rename, cut, grown or rewritten by another writer is
//     therefore seen by the next lookup, as a reopen would see it;
//   - time stamps come from the kernel's coarse clock, so two writes within one tick can leave the
//     same stamps. A copy taken while the file's change time was not yet older than the coarse
//     clock is "racy": it is not trusted, and every lookup really reopens and rereads the file
//     (comparing the bytes, so the index is only rebuilt when they differ) until a read happens
//     after the clock has moved past the file's last change;
//   - any write, cut, rename or delete through this object, and any Open(), marks the copy as
//     needing a check (CHFile::ChangeCount / OpenCount);
//   - only streams opened with an "r" mode are kept; a "w" or "a" mode would change the file on
//     reopening, so those are reopened every time;
//   - the position a scan would leave is handed to CHFile as a logical position; CHFile moves the
//     real stream there (setting the end-of-file indicator where a read would have) before anything
//     else uses it, and reports it from GetPos and AtEnd without moving the stream.
// The stat() per lookup is the one system call left on the common path and dominates the cost of
// reading (one per key read); it is what keeps a change by another writer visible at the very
// next call, which checking only on section changes would not.
// A missing or unreadable file makes the lookup reopen, which fails (read mode) or creates the file
// (write mode), as before.
#include "common/CINIFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kPieceMax = CINIFile::kLineSize - 1;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// strnicmp over count characters in ASCII case: true when text starts with prefix.
bool StartsWithNoCase(const char* text, const char* prefix, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
        if (text[i] == 0) return false;
    }
    return true;
}

std::string Lowered(const char* text, size_t length) {
    std::string out(text, length);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The whole file under fd, read without moving the descriptor's offset.
bool ReadAll(int fd, std::string& out) {
    out.clear();
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size > 0) out.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t got = pread(fd, chunk, sizeof chunk, at);
        if (got < 0) return false;
        if (got == 0) return true;
        out.append(chunk, static_cast<size_t>(got));
        at += got;
    }
}

// Same characters, compared exactly (a quick test before the case-blind comparison).
bool SameText(const CStr& a, const CStr& b) {
    const int length = a.Length();
    if (length != b.Length() || a.IsNull() != b.IsNull()) return false;
    return length == 0 ||
           std::char_traits<char16_t>::compare(a.Wide(), b.Wide(), static_cast<size_t>(length)) == 0;
}

// The narrow form of text (low 8 bits of each character, ending at the first zero byte), as
// CStr::Narrow() gives it, without touching the CStr. Returns the length.
size_t NarrowInto(const CStr& text, std::string& out) {
    out.clear();
    const int length = text.Length();
    const char16_t* wide = text.Wide();
    for (int i = 0; i < length; ++i) {
        const char c = static_cast<char>(wide[i] & 0xFF);
        if (c == 0) break;
        out.push_back(c);
    }
    return out.size();
}

void AssignBytes(CStr& out, const char* text, size_t length) {
    const std::string copy(text, length);
    out.Assign(copy.c_str());
}

}  // namespace

CINIFile::CINIFile(const CStr& name, bool flag) : CHFile(name, flag, "rb", "r+b"), keepOpen_(flag) {
    section_.Assign("");
    positioned_.Assign("");
}

// --- the in-memory copy ---------------------------------------------------------------------

bool CINIFile::SameFile(const struct stat& info) const {
    return info.st_dev == copyInfo_.st_dev && info.st_ino == copyInfo_.st_ino &&
           info.st_size == copyInfo_.st_size && SameTime(info.st_mtim, copyInfo_.st_mtim) &&
           SameTime(info.st_ctim, copyInfo_.st_ctim);
}

bool CINIFile::Reopen() {
    const std::string& mode = ActiveMode();
    if (IsOpen() && copyValid_ && !copyRacy_ && copyOpen_ == OpenCount() &&
        copyChange_ == ChangeCount() && !mode.empty() && mode[0] == 'r') {
        if (!SameText(pathName_, name_)) {
            pathName_ = name_;
            path_ = FileSystemName();
        }
        struct stat info;
        if (stat(path_.c_str(), &info) == 0 && SameFile(info)) {
            SetLogicalPos(0, false);  // where a freshly opened stream stands
            return true;
        }
    }
    if (!Open()) return false;
    RefreshCopy();
    return true;
}

bool CINIFile::RefreshCopy() {
    if (!IsOpen()) return false;
    std::fflush(stream_);  // our own buffered writes belong to the file's contents
    const int fd = fileno(stream_);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        data_.clear();
        BuildIndex();
        copyValid_ = false;
        return true;
    }
    const bool unchanged =
        copyValid_ && !copyRacy_ && copyChange_ == ChangeCount() && SameFile(info);
    if (!unchanged) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
        std::string fresh;
        if (!ReadAll(fd, fresh)) {
            data_.clear();
            BuildIndex();
            copyValid_ = false;
            return true;
        }
        if (!copyValid_ || fresh != data_) {
            data_.swap(fresh);
            BuildIndex();
        }
        copyInfo_ = info;
        copyRacy_ = !Before(info.st_ctim, now) || !Before(info.st_mtim, now);
        copyValid_ = true;
    }
    copyOpen_ = OpenCount();
    copyChange_ = ChangeCount();
    return true;
}

bool CINIFile::EnsureCopy() {
    if (!IsOpen()) return false;
    if (copyValid_ && copyOpen_ == OpenCount() && copyChange_ == ChangeCount()) return true;
    RefreshCopy();
    return true;
}

void CINIFile::BuildIndex() {
    headers_.clear();
    byName_.clear();
    lastPieceStart_ = -1;
    const char* data = data_.data();
    const int64_t size = static_cast<int64_t>(data_.size());
    int64_t pos = 0;
    while (pos < size) {
        const int64_t start = pos;
        const size_t room = static_cast<size_t>(std::min<int64_t>(kPieceMax, size - pos));
        const void* newline = std::memchr(data + pos, '\n', room);
        const int64_t end =
            newline ? static_cast<const char*>(newline) - data + 1 : pos + static_cast<int64_t>(room);
        lastPieceStart_ = start;
        int64_t at = start;
        while (at < end && data[at] == ' ') ++at;
        if (at < end && data[at] == '[') {
            const uint32_t index = static_cast<uint32_t>(headers_.size());
            headers_.push_back(Header{start, at, end});
            int64_t close = at + 1;
            while (close < end && data[close] != ']' && data[close] != 0) ++close;
            if (close < end && data[close] == ']') {
                byName_.emplace(Lowered(data + at + 1, static_cast<size_t>(close - at - 1)), index);
            }
        }
        pos = end;
    }
}

// --- reading pieces -------------------------------------------------------------------------

bool CINIFile::ReadPiece(int64_t& pos, bool& eof) {
    const int64_t size = static_cast<int64_t>(data_.size());
    if (pos >= size) {
        eof = true;
        return false;
    }
    const char* from = data_.data() + pos;
    const size_t room = static_cast<size_t>(std::min<int64_t>(kPieceMax, size - pos));
    const void* newline = std::memchr(from, '\n', room);
    const size_t count = newline ? static_cast<size_t>(static_cast<const char*>(newline) - from + 1) : room;
    std::memcpy(line_, from, count);
    line_[count] = 0;
    pos += static_cast<int64_t>(count);
    // fgets stops at a newline or a full buffer without looking further; otherwise it met the end.
    eof = newline == nullptr && count < static_cast<size_t>(kPieceMax);
    return true;
}

void CINIFile::TakeHeader(const Header& header) {
    int64_t pos = header.start;
    bool eof = false;
    ReadPiece(pos, eof);
    SetLogicalPos(pos, eof);
}

void CINIFile::TakeEnd(int64_t from) {
    const int64_t size = static_cast<int64_t>(data_.size());
    if (from < size && lastPieceStart_ >= 0) {
        int64_t pos = lastPieceStart_;
        bool eof = false;
        ReadPiece(pos, eof);
    }
    SetLogicalPos(std::max(from, size), true);
}

int64_t CINIFile::LookUpSection(const CStr& name) {
    // The header pattern is "[" name "]" cut to 78 characters: at most 77 characters of the name
    // take part, and a name of 77 or more characters matches without the closing bracket, so a
    // header written with the full long name is still found.
    CStr copy(name);
    const char* narrow = copy.Narrow();
    const size_t length = std::strlen(narrow);
    const size_t used = std::min<size_t>(length, kSectionNameChars);
    const bool closed = length < static_cast<size_t>(kSectionNameChars);
    const bool plain = closed && std::memchr(narrow, ']', used) == nullptr;
    if (plain) {
        const auto found = byName_.find(Lowered(narrow, used));
        return found == byName_.end() ? -1 : static_cast<int64_t>(found->second);
    }
    std::string pattern = "[";
    pattern.append(narrow, used);
    if (closed) pattern.push_back(']');
    const char* data = data_.data();
    for (size_t i = 0; i < headers_.size(); ++i) {
        const Header& header = headers_[i];
        if (header.end - header.bracket < static_cast<int64_t>(pattern.size())) continue;
        if (StartsWithNoCase(data + header.bracket, pattern.c_str(), pattern.size())) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

// --- lookups --------------------------------------------------------------------------------

bool CINIFile::FindSection(const CStr& name) {
    if (name.Length() == 0 || !Reopen()) {
        positioned_.Assign("");
        return false;
    }
    if (SameText(positioned_, name) || positioned_.EqualsNoCase(name)) {
        SetLogicalPos(sectionPos_.Value(), false);
        return true;
    }
    const int64_t index = LookUpSection(name);
    if (index < 0) {
        TakeEnd(0);
        positioned_.Assign("");
        return false;
    }
    const Header& header = headers_[static_cast<size_t>(index)];
    TakeHeader(header);
    positioned_ = name;
    sectionPos_.SetValue(header.end);
    return true;
}

bool CINIFile::FindKey(const CStr& key) {
    if (key.Length() == 0 || !IsOpen()) return false;
    if (!EnsureCopy()) return false;
    int64_t pos = 0;
    bool eof = false;
    if (!LogicalPos(pos, eof)) return false;
    keyPos_.SetValue(pos);

    const size_t wantedLength = NarrowInto(key, keyNarrow_);
    const char* wanted = keyNarrow_.c_str();
    bool found = false;
    for (;;) {
        const int64_t before = pos;
        if (!ReadPiece(pos, eof)) break;
        lastLineStart_ = before;
        char* text = line_;
        while (*text == ' ') ++text;
        if (*text == '\r' || *text == '\n' || *text == 0) continue;  // blank: key position stays
        if (*text == '[') break;                                     // the next section
        if (StartsWithNoCase(text, wanted, wantedLength)) {
            char* at = text + wantedLength;
            while (*at == ' ') ++at;
            if (*at == '=') {
                ++at;
                while (*at == ' ') ++at;
                char* end = at + std::strlen(at);
                while (end > at && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' ')) --end;
                *end = 0;
                value_ = at;
                keyPos_.SetValue(before);
                found = true;
                break;
            }
        }
        keyPos_.SetValue(pos);
    }
    SetLogicalPos(pos, eof);
    return found;
}

namespace {

// A value with a double quote at both ends loses them; one or two quotes alone become empty.
void Unquote(CStr& value) {
    const int length = value.Length();
    if (length >= 1 && value.At(1) == u'"' && value.At(length) == u'"') value.Mid(2, length - 2);
}

}  // namespace

int CINIFile::GetString(const CStr& key, CStr& out) {
    out.Assign("");
    if (!FindSection(section_)) {
        Close();
        return 0;
    }
    if (FindKey(key)) {
        out.Assign(value_);
        Unquote(out);
    }
    if (!keepOpen_) Close();
    return out.Length();
}

int CINIFile::GetStringFromHere(const CStr& key, CStr& out) {
    out.Assign("");
    if (FindKey(key)) {
        out.Assign(value_);
        Unquote(out);
    }
    if (!keepOpen_) Close();
    return out.Length();
}

int CINIFile::GetInt(const CStr& key) {
    CStr value;
    GetString(key, value);
    return value.ToInt();
}

CCur CINIFile::GetCur(const CStr& key) {
    CStr value;
    GetString(key, value);
    return CCur(value.ToDouble());
}

CDate CINIFile::GetDate(const CStr& key) {
    CStr value;
    CDate date;
    if (GetString(key, value) > 0 && date.Parse(value.Narrow())) return date;
    return CDate();
}

bool CINIFile::KeyExists(const CStr& key) {
    return FindSection(section_) && FindKey(key);
}

// --- writing --------------------------------------------------------------------------------

int CINIFile::AppendString(const CStr& key, const CStr& value) {
    if (!IsOpen()) {
        Open();
        positioned_.Assign("");
    }
    CStr section(section_);
    CStr keyText(key);
    CStr valueText(value);
    if (positioned_.DiffersNoCase(section_)) {
        Printf("\r\n[%s]\r\n%s=%s\r\n", section.Narrow(), keyText.Narrow(), valueText.Narrow());
        positioned_ = section_;
    } else {
        Printf("%s=%s\r\n", keyText.Narrow(), valueText.Narrow());
    }
    return value.Length();
}

int CINIFile::SetString(const CStr& key, const CStr& value) {
    // Without a section or key there is no line to write; a search that never ran would leave the
    // positions where they were, and writing there could overwrite or cut unrelated text.
    if (key.Length() == 0 || section_.Length() == 0) return 0;
    CStr section(section_);
    CStr keyText(key);
    CStr valueText(value);
    const char* sectionNarrow = section.Narrow();
    const char* keyNarrow = keyText.Narrow();
    const char* valueNarrow = valueText.Narrow();
    bool written = false;

    if (!FindSection(section_)) {
        if (!IsOpen()) return 0;
        // The failed search left the stream at the end of the file.
        written = Printf("\r\n[%s]\r\n%s=%s\r\n", sectionNarrow, keyNarrow, valueNarrow) >= 0;
    } else {
        const bool found = FindKey(key);
        int64_t pos = 0;
        bool eof = false;
        LogicalPos(pos, eof);
        if (!found && eof) {
            // The last section: append, starting a new line unless the last line read ended one.
            const size_t lastLength = std::strlen(line_);
            const bool ended = lastLength >= 2 &&
                               (line_[lastLength - 1] == '\r' || line_[lastLength - 1] == '\n');
            written = Printf("%s%s=%s\r\n", ended ? "" : "\r\n", keyNarrow, valueNarrow) >= 0;
        } else {
            // Keep everything after the insertion point - the rest after the key's old line, or the
            // header that ended the search and all that follows - however long it is.
            const int64_t size = static_cast<int64_t>(data_.size());
            const int64_t restStart = std::min(found ? pos : lastLineStart_, size);
            const std::string rest = data_.substr(static_cast<size_t>(restStart));
            if (SetPos(keyPos_) && CutAtPosition()) {
                written = Printf("%s=%s\r\n%s", keyNarrow, valueNarrow, found ? "" : "\r\n") >= 0;
                size_t done = 0;
                while (written && done < rest.size()) {
                    const size_t chunk = std::min<size_t>(rest.size() - done, 1 << 30);
                    const int put = WriteBytes(rest.data() + done, static_cast<int>(chunk));
                    if (put != static_cast<int>(chunk)) written = false;
                    done += chunk;
                }
            }
        }
    }
    if (written && IsOpen()) written = std::fflush(stream_) == 0;
    positioned_.Assign("");
    Close();
    return written ? value.Length() : 0;
}

int CINIFile::SetDate(const CStr& key, const CDate& date) {
    CStr text;
    if (date.IsNull()) {
        text.Assign("2000/01/01 00:00:00");
    } else {
        text.Format("%04d/%02d/%02d %02d:%02d:%02d", date.Year(), date.Month(), date.Day(),
                    date.Hour(), date.Minute(), date.Second());
    }
    return SetString(key, text);
}

// --- sections -------------------------------------------------------------------------------

int CINIFile::GetSectionText(const CStr& name, CStr& out) {
    out.Assign("");
    if (!FindSection(name)) {
        Close();
        return 0;
    }
    int64_t pos = 0;
    bool eof = false;
    LogicalPos(pos, eof);
    while (ReadPiece(pos, eof)) {
        const char* text = line_;
        while (*text == ' ') ++text;
        if (*text == '[') break;
        out.Append(line_);
    }
    SetLogicalPos(pos, eof);
    Close();
    return out.Length();
}

bool CINIFile::GetSectionName(int n, CStr& out) {
    positioned_.Assign("");
    out.Assign("");
    if (!Reopen()) return false;

    int64_t start = 0;
    int count = 0;
    if (enumIndex_ > 0 && enumIndex_ < n) {
        start = enumPos_.Value();
        count = enumIndex_;
    }

    // The header to count on from: the first one, or the one that ends at the resumed position.
    int64_t next = -1;
    if (start == 0) {
        next = 0;
    } else {
        const auto at = std::lower_bound(
            headers_.begin(), headers_.end(), start,
            [](const Header& header, int64_t pos) { return header.end < pos; });
        if (at != headers_.end() && at->end == start) next = (at - headers_.begin()) + 1;
    }

    bool hit = false;
    int64_t endPos = 0;
    bool endEof = false;
    if (next >= 0) {
        const int64_t target = next + (static_cast<int64_t>(n) - count - 1);
        if (target >= next && target < static_cast<int64_t>(headers_.size())) {
            hit = true;
            TakeHeader(headers_[static_cast<size_t>(target)]);
            LogicalPos(endPos, endEof);
        } else {
            TakeEnd(start);
        }
    } else {
        // The position is not one the index knows (the file changed since): read on from there.
        int64_t pos = start;
        bool eof = false;
        while (ReadPiece(pos, eof)) {
            const char* text = line_;
            while (*text == ' ') ++text;
            if (*text == '[' && ++count == n) {
                endPos = pos;
                endEof = eof;
                hit = true;
                break;
            }
        }
        SetLogicalPos(pos, hit ? eof : true);
    }

    if (!hit) {
        enumPos_.Clear();
        enumIndex_ = -1;
        return false;
    }
    const char* text = line_;
    while (*text == ' ') ++text;
    ++text;  // the "["
    size_t length = 0;
    while (text[length] != 0 && text[length] != ']' && text[length] != '\r' && text[length] != '\n') {
        ++length;
    }
    AssignBytes(out, text, length);
    enumIndex_ = n;
    enumPos_.SetValue(endPos);
    return true;
}

bool CINIFile::GetNextSectionName(CStr& out) {
    if (enumIndex_ < 1) {
        out.Assign("");
        return false;
    }
    return GetSectionName(enumIndex_ + 1, out);
}
