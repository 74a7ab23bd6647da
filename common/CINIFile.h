// CINIFile: reading and writing the sections and keys of an INI file on top of CHFile.
//
// Sections are "[" name "]" lines, keys "key=value" lines below them. Section and key names match
// ignoring ASCII letter case; blanks (spaces) before a line's text and around "=" are skipped;
// trailing blanks, CR and LF are cut from a value, and a value with a double quote at both ends
// loses them. There is no comment syntax. The file is read in pieces of at most 1023 bytes: a
// longer line is taken as several lines.
//
// Every reading operation looks at the file as it is on disk at that moment, so a change made by
// someone else between two calls is seen by the second. Reads are served from an in-memory copy
// of the file with an index of its section headers; see CINIFile.cpp for how the copy is kept
// equal to the file. Failures show only in the results: false, 0 or empty text.
// Not thread-safe: one CINIFile belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

#include "common/CCur.h"
#include "common/CDate.h"
#include "common/CHFile.h"
#include "common/CStr.h"

class CINIFile : public CHFile {
public:
    static constexpr int kLineSize = 1024;        // line buffer; a read takes at most 1023 bytes
    static constexpr int kSectionNameChars = 77;  // characters of a section name that take part

    // The CHFile part gets the name, the flag as write flag and the modes "rb" and "r+b"; keep open
    // is the same flag. Nothing is opened here.
    CINIFile(const CStr& name, bool flag);

    // Selects the section that key operations address; no file access.
    void SetSection(const CStr& name) { section_ = name; }
    const CStr& Section() const { return section_; }

    // Reopens the file and positions it just after the section's header line. False for an empty
    // name, a file that cannot be opened, or a section that is not there (the stream is then at
    // the end of the file). Only the first 77 characters of the name take part.
    bool FindSection(const CStr& name);
    // Searches the key from the current position up to the next section header. True: the value
    // is available (see Value()) and the key position is the start of the key's line.
    bool FindKey(const CStr& key);
    // The value found by the last successful FindKey (points into the line buffer).
    const char* Value() const { return value_; }

    // The value of key in the selected section; its length. out is empty text when the section
    // or key is missing. Closes the file afterwards unless keep open is set.
    int GetString(const CStr& key, CStr& out);
    // As GetString, searching from the current position without looking for the section.
    int GetStringFromHere(const CStr& key, CStr& out);
    int GetInt(const CStr& key);               // missing: 0
    CCur GetCur(const CStr& key);              // missing: 0
    CDate GetDate(const CStr& key);            // missing or not a date text: null date
    // FindSection of the selected section, then FindKey; the file stays open.
    bool KeyExists(const CStr& key);

    // Sequential writer: writes a header first when the selected section is not the one written
    // last, then "key=value". Returns the value's length (also when nothing could be written).
    int AppendString(const CStr& key, const CStr& value);
    // In-place writer: replaces the key's line, or adds the key at the end of its section, or adds
    // the section with the key at the end of the file. Returns the value's length; 0 when the file
    // cannot be opened or written, or the key or the selected section is empty.
    int SetString(const CStr& key, const CStr& value);
    // SetString of the date as "yyyy/mm/dd hh:mm:ss"; a null date writes 2000/01/01 00:00:00.
    int SetDate(const CStr& key, const CDate& date);

    // The raw lines of the section (line ends included) after its header; the length. Closes.
    int GetSectionText(const CStr& name, CStr& out);
    // The name of the n-th section header of the file (n from 1). Asking for the next number
    // resumes where the previous call stopped.
    bool GetSectionName(int n, CStr& out);
    // False when no section was returned yet; else GetSectionName of the next number.
    bool GetNextSectionName(CStr& out);

    // State, for callers that drive the stream themselves.
    bool KeepOpen() const { return keepOpen_; }
    void SetKeepOpen(bool keepOpen) { keepOpen_ = keepOpen; }
    const CStr& PositionedSection() const { return positioned_; }
    const CFilePos& KeyPosition() const { return keyPos_; }
    const CFilePos& SectionPosition() const { return sectionPos_; }
    int EnumerationIndex() const { return enumIndex_; }
    const char* LineBuffer() const { return line_; }

private:
    struct Header {
        int64_t start;   // offset of the header's piece
        int64_t bracket; // offset of its "["
        int64_t end;     // offset just after the piece
    };

    // Open() as the algorithms need it: afterwards the stream is open at the start of the file and
    // the in-memory copy equals the file. False when the file cannot be opened.
    bool Reopen();
    // Makes the copy equal to the file under the open stream; reloads only what changed.
    bool RefreshCopy();
    // RefreshCopy() when the copy may be stale because of this object's own use of the stream.
    bool EnsureCopy();
    void BuildIndex();
    bool SameFile(const struct stat& info) const;

    // fgets over the copy: the piece at pos into the line buffer, pos advanced, eof as the C
    // library would set it. False (buffer unchanged) at the end of the file.
    bool ReadPiece(int64_t& pos, bool& eof);
    // Copies the piece of a header into the line buffer and positions the stream after it.
    void TakeHeader(const Header& header);
    // The scan ran to the end of the file from `from`: line buffer and stream as fgets leaves them.
    void TakeEnd(int64_t from);
    // The index of the first header line that starts with "[" + name (cut) + "]", or -1.
    int64_t LookUpSection(const CStr& name);

    char line_[kLineSize] = {};
    const char* value_ = line_;
    CStr section_;
    CStr positioned_;
    bool keepOpen_ = false;
    int enumIndex_ = -1;
    CFilePos enumPos_;
    CFilePos keyPos_;
    CFilePos sectionPos_;
    int64_t lastLineStart_ = 0;   // where the piece FindKey read last began

    // The in-memory copy of the file and what it was taken from.
    std::string data_;
    std::vector<Header> headers_;
    std::unordered_map<std::string, uint32_t> byName_;  // lower-cased name -> first header
    int64_t lastPieceStart_ = -1;                        // -1: empty file
    bool copyValid_ = false;
    bool copyRacy_ = true;       // the file may change without its time stamps showing it
    uint64_t copyChange_ = 0;    // ChangeCount() the copy was checked against
    uint64_t copyOpen_ = 0;      // OpenCount() of the stream the copy was checked through
    struct stat copyInfo_ = {};
    CStr pathName_;              // the name path_ was made from
    std::string path_;           // its file-system form
    std::string keyNarrow_;      // scratch for FindKey
};
