#include "common/CINIFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <strings.h>

namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ini_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "test.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& content) { WriteAt(path_, content); }
    static void WriteAt(const std::string& path, const std::string& content) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string Text(CStr value) { return value.Narrow(); }

    fs::path dir_;
    std::string path_;
};

// --- reading ------------------------------------------------------------------------------

TEST_F(IniTest, FindSectionMatchesHeaderLines) {
    const std::string longName(100, 'L');
    std::string nearLong = longName.substr(0, 77) + "different tail";
    struct Case {
        const char* what;
        std::string content;
        std::string name;
        bool found;
        const char* nextLine;  // what ReadLine gives after a successful search
    };
    const Case cases[] = {
        {"blanks, case, trailing text", "\r\n  [sEcTiOn] trailing\r\nk=v\r\n", "Section", true,
         "k=v\r\n"},
        {"longer header name", "[Sectionx]\r\nk=v\r\n", "Section", false, nullptr},
        {"tab is not a blank", "\t[A]\r\nk=v\r\n", "A", false, nullptr},
        {"first of two equal headers", "[A]\r\nk=1\r\n[a]\r\nk=2\r\n", "A", true, "k=1\r\n"},
        {"empty name", "[]\r\nk=v\r\n", "", false, nullptr},
        {"bracket inside the name", "[A]B]\r\nk=v\r\n", "A]B", true, "k=v\r\n"},
        {"header without line end", "k=v\r\n[End]", "End", true, nullptr},
        {"long name, full header", "[" + longName + "]\r\nk=v\r\n", longName, true, "k=v\r\n"},
        {"long name, only 77 characters count", "[" + longName + "]\r\nk=v\r\n", nearLong, true,
         "k=v\r\n"},
        {"76 characters keep the bracket", "[" + longName.substr(0, 77) + "]\r\n",
         longName.substr(0, 76), false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(c.content);
        CINIFile ini(CStr(path_.c_str()), true);
        EXPECT_EQ(ini.FindSection(CStr(c.name.c_str())), c.found);
        if (c.found) {
            EXPECT_TRUE(ini.PositionedSection().EqualsNoCase(CStr(c.name.c_str())));
            if (c.nextLine != nullptr) {
                char line[1024];
                ASSERT_NE(ini.ReadLine(line, sizeof line), nullptr);
                EXPECT_STREQ(line, c.nextLine);
            } else {
                EXPECT_TRUE(ini.AtEnd());
            }
        } else {
            EXPECT_EQ(ini.PositionedSection().Length(), 0);
            if (!c.name.empty()) {
                EXPECT_TRUE(ini.AtEnd());
            }
        }
    }
}

TEST_F(IniTest, GetStringKeyRules) {
    struct Case {
        const char* line;
        const char* key;
        const char* value;  // nullptr: not found
    };
    const Case cases[] = {
        {"  Name  =   value with blanks  \r\n", "nAmE", "value with blanks"},
        {"NameX=wrong\r\nName=right\r\n", "Name", "right"},
        {"NameX=wrong\r\n", "Name", nullptr},
        {"Name\r\n", "Name", nullptr},
        {"Name=\"quoted\"\r\n", "Name", "quoted"},
        {"Name=\"open\r\n", "Name", "\"open"},
        {"Name=close\"\r\n", "Name", "close\""},
        {"Name=\"\r\n", "Name", ""},
        {"Name=\"\"\r\n", "Name", ""},
        {";Name=comment\r\n", "Name", nullptr},
        {";Name=comment\r\n", ";Name", "comment"},
        {"Name=a=b\n", "Name", "a=b"},
        {"\r\n\r\n   \r\nName=after blanks", "Name", "after blanks"},
        {"[Next]\r\nName=other section\r\n", "Name", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Write(std::string("\r\n[S]\r\n") + c.line);
        CINIFile ini(CStr(path_.c_str()), true);
        ini.SetSection(CStr("s"));
        CStr out;
        const int length = ini.GetString(CStr(c.key), out);
        if (c.value == nullptr) {
            EXPECT_EQ(length, 0);
            EXPECT_FALSE(out.IsNull());
            EXPECT_EQ(Text(out), "");
        } else {
            EXPECT_EQ(Text(out), c.value);
            EXPECT_EQ(length, static_cast<int>(std::strlen(c.value)));
        }
    }
}

TEST_F(IniTest, TypedGettersMissingAndBad) {
    Write("\r\n[S]\r\nInt= -1,234\r\nCur=2,5.12345\r\nDate=2023/05/17 08:05:09\r\n"
          "DashDate=2023-05-17 08:05:09\r\nNumDate=45063.33691\r\nBad=abc\r\n");
    CINIFile ini(CStr(path_.c_str()), true);
    ini.SetSection(CStr("S"));
    EXPECT_EQ(ini.GetInt(CStr("Int")), -1234);
    EXPECT_EQ(ini.GetInt(CStr("Missing")), 0);
    EXPECT_EQ(ini.GetInt(CStr("Bad")), 0);
    EXPECT_EQ(ini.GetCur(CStr("Cur")).Value(), 251235);
    EXPECT_EQ(ini.GetCur(CStr("Missing")).Value(), 0);
    const CDate date = ini.GetDate(CStr("Date"));
    ASSERT_FALSE(date.IsNull());
    EXPECT_EQ(date.Year(), 2023);
    EXPECT_EQ(date.Second(), 9);
    EXPECT_EQ(ini.GetDate(CStr("DashDate")), date);
    EXPECT_TRUE(ini.GetDate(CStr("NumDate")).IsNull());
    EXPECT_TRUE(ini.GetDate(CStr("Missing")).IsNull());
    EXPECT_TRUE(ini.KeyExists(CStr("Bad")));
    EXPECT_FALSE(ini.KeyExists(CStr("Missing")));

    CINIFile none(CStr((dir_ / "absent.ini").string().c_str()), false);
    none.SetSection(CStr("S"));
    EXPECT_EQ(none.GetInt(CStr("Int")), 0);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(fs::exists(dir_ / "absent.ini"));
}

TEST_F(IniTest, KeepOpenFalseClosesAfterEachRead) {
    Write("[S]\r\nk=1\r\n");
    CINIFile ini(CStr(path_.c_str()), false);
    ini.SetSection(CStr("S"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 1);
    EXPECT_FALSE(ini.IsOpen());
    EXPECT_EQ(ini.GetInt(CStr("k")), 1);
}

TEST_F(IniTest, GetSectionNameResumesAndRestarts) {
    Write("\r\n[One]\r\na=1\r\n  [Two] x\r\n[Three\r\n[Four]]\r\n");
    CINIFile ini(CStr(path_.c_str()), true);
    CStr name;
    ASSERT_TRUE(ini.GetSectionName(2, name));
    EXPECT_EQ(Text(name), "Two");
    ASSERT_TRUE(ini.GetSectionName(3, name));
    EXPECT_EQ(Text(name), "Three");
    char line[1024];
    ASSERT_NE(ini.ReadLine(line, sizeof line), nullptr);  // the stream stands after the header
    EXPECT_STREQ(line, "[Four]]\r\n");
    ASSERT_TRUE(ini.GetSectionName(1, name));
    EXPECT_EQ(Text(name), "One");
    ASSERT_TRUE(ini.GetNextSectionName(name));
    EXPECT_EQ(Text(name), "Two");
    EXPECT_TRUE(ini.GetSectionName(4, name));
    EXPECT_EQ(Text(name), "Four");
    EXPECT_FALSE(ini.GetNextSectionName(name));
    EXPECT_EQ(Text(name), "");
    EXPECT_EQ(ini.EnumerationIndex(), -1);
    EXPECT_FALSE(ini.GetNextSectionName(name));
    EXPECT_FALSE(ini.GetSectionName(0, name));
}

TEST_F(IniTest, LongLinesAreReadInPieces) {
    // 1023 bytes make one piece; the rest of the line is a line of its own.
    const std::string filler(1023 - 2, 'x');
    Write("[S]\r\nk=" + filler + "[Hidden]\r\nHiddenKey=1\r\n" + std::string(1023, ' ') +
          "[Next]\r\n");
    CINIFile ini(CStr(path_.c_str()), true);
    ini.SetSection(CStr("S"));
    CStr out;
    EXPECT_EQ(ini.GetString(CStr("k"), out), 1021);
    EXPECT_EQ(Text(out), filler);
    EXPECT_EQ(ini.GetInt(CStr("HiddenKey")), 0);  // "[Hidden]" starts a piece: a new section
    ini.SetSection(CStr("Hidden"));
    EXPECT_EQ(ini.GetInt(CStr("HiddenKey")), 1);
    EXPECT_TRUE(ini.FindSection(CStr("Next")));  // the blanks fill a piece of their own
    std::vector<std::string> names;
    for (int n = 1; ini.GetSectionName(n, out); ++n) names.push_back(Text(out));
    EXPECT_EQ(names, (std::vector<std::string>{"S", "Hidden", "Next"}));
}

TEST_F(IniTest, ChangesByAnotherWriterAreSeen) {
    Write("\r\n[A]\r\nk=1\r\n\r\n[B]\r\nk=2\r\n");
    CINIFile ini(CStr(path_.c_str()), true);
    ini.SetSection(CStr("B"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 2);
    CStr name;
    ASSERT_TRUE(ini.GetSectionName(1, name));
    // Same size, written in place within the same clock tick.
    {
        FILE* f = std::fopen(path_.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 0, SEEK_SET);
        std::fputs("\r\n[C]\r\nk=3\r\n\r\n[B]\r\nk=4\r\n", f);
        std::fclose(f);
    }
    ini.SetSection(CStr("C"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 3);
    ini.SetSection(CStr("B"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 4);
    ASSERT_TRUE(ini.GetSectionName(1, name));
    EXPECT_EQ(Text(name), "C");
    ini.SetSection(CStr("B"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 4);

    // Replaced by rename: a new file under the same name.
    const std::string other = (dir_ / "other.ini").string();
    WriteAt(other, "[B]\r\nk=5\r\n");
    fs::rename(other, path_);
    ini.SetSection(CStr("B"));  // positioned on B: the old position is reused in the new file
    EXPECT_EQ(ini.GetInt(CStr("k")), 0);
    ini.SetSection(CStr("C"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 0);
    ini.SetSection(CStr("B"));  // searched afresh now
    EXPECT_EQ(ini.GetInt(CStr("k")), 5);

    // Deleted: a reader in write mode recreates it empty, as opening would.
    fs::remove(path_);
    ini.SetSection(CStr("C"));
    EXPECT_EQ(ini.GetInt(CStr("k")), 0);
    EXPECT_TRUE(fs::exists(path_));
    EXPECT_EQ(fs::file_size(path_), 0u);
}

// --- writing ------------------------------------------------------------------------------

TEST_F(IniTest, SetStringInsertionPlaces) {
    const std::string base = "\r\n[A]\r\na=1\r\n\r\n\r\n[B]\r\nb=2\r\n";
    struct Case {
        const char* what;
        std::string before;
        const char* section;
        const char* key;
        std::string after;
    };
    const Case cases[] = {
        {"new key mid-file", base, "a", "new",
         "\r\n[A]\r\na=1\r\nnew=V\r\n\r\n[B]\r\nb=2\r\n"},
        {"new key in the last section", base, "B", "new",
         "\r\n[A]\r\na=1\r\n\r\n\r\n[B]\r\nb=2\r\nnew=V\r\n"},
        {"last line without line end", "[B]\r\nb=2", "B", "new", "[B]\r\nb=2\r\nnew=V\r\n"},
        {"existing key", base, "A", "A", "\r\n[A]\r\nA=V\r\n\r\n\r\n[B]\r\nb=2\r\n"},
        {"existing key on the last line", "[B]\r\n b = 2", "B", "b", "[B]\r\nb=V\r\n"},
        {"missing section", base, "C", "c", base + "\r\n[C]\r\nc=V\r\n"},
        {"empty file", "", "C", "c", "\r\n[C]\r\nc=V\r\n"},
        {"empty last section", "[A]\r\n[B]\r\n", "B", "k", "[A]\r\n[B]\r\nk=V\r\n"},
        {"empty section before another", "[A]\r\n[B]\r\n", "A", "k", "[A]\r\nk=V\r\n\r\n[B]\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(c.before);
        CINIFile ini(CStr(path_.c_str()), true);
        ini.SetSection(CStr(c.section));
        EXPECT_EQ(ini.SetString(CStr(c.key), CStr("V")), 1);
        EXPECT_FALSE(ini.IsOpen());
        EXPECT_EQ(Read(), c.after);
        CStr out;
        EXPECT_EQ(ini.GetString(CStr(c.key), out), 1);
        EXPECT_EQ(Text(out), "V");
    }
}

TEST_F(IniTest, SetStringKeepsARestLongerThan64K) {
    std::string rest = "[B]\r\n";
    for (int i = 0; rest.size() < 200000; ++i) rest += "Key" + std::to_string(i) + "=value\r\n";
    Write("[A]\r\nold=1\r\n" + rest);
    CINIFile ini(CStr(path_.c_str()), true);
    ini.SetSection(CStr("A"));
    EXPECT_EQ(ini.SetString(CStr("old"), CStr("22")), 2);
    EXPECT_EQ(Read(), "[A]\r\nold=22\r\n" + rest);
    EXPECT_EQ(ini.SetString(CStr("new"), CStr("3")), 1);
    EXPECT_EQ(Read(), "[A]\r\nold=22\r\nnew=3\r\n\r\n" + rest);
}

TEST_F(IniTest, SetStringRefusesWhatItCannotWrite) {
    Write("[A]\r\nk=1\r\n");
    CINIFile reader(CStr(path_.c_str()), false);  // read mode: writes fail
    reader.SetSection(CStr("A"));
    EXPECT_EQ(reader.SetString(CStr("k"), CStr("2")), 0);
    EXPECT_EQ(reader.SetString(CStr("n"), CStr("2")), 0);
    CINIFile ini(CStr(path_.c_str()), true);
    ini.SetSection(CStr("A"));
    ini.GetInt(CStr("k"));  // leaves the file open with a key position
    EXPECT_EQ(ini.SetString(CStr(""), CStr("2")), 0);
    ini.SetSection(CStr(""));
    EXPECT_EQ(ini.SetString(CStr("k"), CStr("2")), 0);
    EXPECT_EQ(Read(), "[A]\r\nk=1\r\n");
}

TEST_F(IniTest, SetDateWritesTheDateText) {
    CINIFile ini(CStr(path_.c_str()), true);  // the file is created
    ini.SetSection(CStr("D"));
    CDate date;
    ASSERT_TRUE(date.Parse("2023-05-17 08:05:09"));
    EXPECT_EQ(ini.SetDate(CStr("When"), date), 19);
    EXPECT_EQ(ini.SetDate(CStr("Null"), CDate()), 19);
    EXPECT_EQ(Read(), "\r\n[D]\r\nWhen=2023/05/17 08:05:09\r\nNull=2000/01/01 00:00:00\r\n");
    EXPECT_EQ(ini.GetDate(CStr("When")), date);
}

TEST_F(IniTest, AppendStringWritesAHeaderPerChangeOfSection) {
    CINIFile ini(CStr(path_.c_str()), true);
    const char* steps[][3] = {{"A", "k1", "1"}, {"a", "k2", "2"}, {"B", "k3", "3"}, {"A", "k4", "44"}};
    for (const auto& step : steps) {
        ini.SetSection(CStr(step[0]));
        EXPECT_EQ(ini.AppendString(CStr(step[1]), CStr(step[2])),
                  static_cast<int>(std::strlen(step[2])));
    }
    ini.Close();
    EXPECT_EQ(Read(), "\r\n[A]\r\nk1=1\r\nk2=2\r\n\r\n[B]\r\nk3=3\r\n\r\n[A]\r\nk4=44\r\n");

    CINIFile reader(CStr(path_.c_str()), true);
    reader.SetSection(CStr("A"));
    EXPECT_EQ(reader.GetInt(CStr("k2")), 2);
    EXPECT_EQ(reader.GetInt(CStr("k4")), 0);  // the first [A] is the one found
    CStr text;
    EXPECT_EQ(reader.GetSectionText(CStr("B"), text), 8);
    EXPECT_EQ(Text(text), "k3=3\r\n\r\n");
}

// --- the same results as reading the file line by line --------------------------------------

// The plain algorithm: reopen for every lookup, scan with fgets from the start or the remembered
// position. The cached implementation must leave the same results, buffer and stream state.
class LineScanner {
public:
    explicit LineScanner(std::string path) : path_(std::move(path)) {}
    ~LineScanner() { if (f_) std::fclose(f_); }

    bool FindSection(const std::string& name) {
        if (name.empty() || !Open()) { positioned_.clear(); return false; }
        if (!positioned_.empty() && strcasecmp(positioned_.c_str(), name.c_str()) == 0) {
            fseeko(f_, sectionPos_, SEEK_SET);
            return true;
        }
        std::string pattern = "[" + name.substr(0, 77);
        if (name.size() < 77) pattern += "]";
        while (std::fgets(line_, sizeof line_, f_)) {
            const char* p = line_;
            while (*p == ' ') ++p;
            if (strncasecmp(p, pattern.c_str(), pattern.size()) == 0) {
                positioned_ = name;
                sectionPos_ = ftello(f_);
                return true;
            }
        }
        positioned_.clear();
        return false;
    }
    bool FindKey(const std::string& key, std::string& value) {
        keyPos_ = ftello(f_);
        for (;;) {
            const off_t before = ftello(f_);
            if (!std::fgets(line_, sizeof line_, f_)) return false;
            char* p = line_;
            while (*p == ' ') ++p;
            if (*p == '\r' || *p == '\n' || *p == 0) continue;
            if (*p == '[') return false;
            if (strncasecmp(p, key.c_str(), key.size()) == 0) {
                char* q = p + key.size();
                while (*q == ' ') ++q;
                if (*q == '=') {
                    ++q;
                    while (*q == ' ') ++q;
                    char* e = q + std::strlen(q);
                    while (e > q && (e[-1] == '\r' || e[-1] == '\n' || e[-1] == ' ')) --e;
                    *e = 0;
                    value = q;
                    keyPos_ = before;
                    return true;
                }
            }
            keyPos_ = ftello(f_);
        }
    }
    bool GetSectionName(int n, std::string& out) {
        positioned_.clear();
        out.clear();
        if (!Open()) return false;
        int count = 0;
        if (enumIndex_ > 0 && enumIndex_ < n) { fseeko(f_, enumPos_, SEEK_SET); count = enumIndex_; }
        while (std::fgets(line_, sizeof line_, f_)) {
            const char* p = line_;
            while (*p == ' ') ++p;
            if (*p == '[' && ++count == n) {
                ++p;
                while (*p && *p != ']' && *p != '\r' && *p != '\n') out += *p++;
                enumIndex_ = n;
                enumPos_ = ftello(f_);
                return true;
            }
        }
        enumPos_ = 0;
        enumIndex_ = -1;
        return false;
    }
    off_t Pos() const { return ftello(f_); }
    bool Eof() const { return std::feof(f_) != 0; }
    const char* Line() const { return line_; }
    off_t KeyPos() const { return keyPos_; }

private:
    bool Open() {
        if (f_) std::fclose(f_);
        f_ = std::fopen(path_.c_str(), "r+b");
        return f_ != nullptr;
    }
    std::string path_;
    FILE* f_ = nullptr;
    char line_[1024] = {};
    std::string positioned_;
    off_t sectionPos_ = 0, keyPos_ = 0, enumPos_ = 0;
    int enumIndex_ = -1;
};

std::string RandomFile(std::mt19937& rng) {
    static const char* names[] = {"A", "b", "Sec", "sec", "A]x", "Long"};
    static const char* keys[] = {"k", "K", "kx", "key", ";k", "x"};
    std::string out;
    const int lines = static_cast<int>(rng() % 40);
    for (int i = 0; i < lines; ++i) {
        switch (rng() % 9) {
            case 0: out += "\r\n"; break;
            case 1: out += std::string(rng() % 3, ' ') + "[" + names[rng() % 6] + "]" +
                           (rng() % 4 == 0 ? " tail" : "") + "\r\n"; break;
            case 2: out += std::string(1000 + rng() % 60, 'p') + "[" + names[rng() % 6] + "]\n"; break;
            case 3: out += std::string(rng() % 2, ' ') + keys[rng() % 6] + " = \"v" +
                           std::to_string(i) + (rng() % 2 ? "\"" : "") + "  \r\n"; break;
            case 4: out += "   \n"; break;
            default: out += std::string(keys[rng() % 6]) + "=" + std::to_string(i) + "\r\n"; break;
        }
    }
    if (!out.empty() && rng() % 3 == 0) out.pop_back();
    return out;
}

TEST_F(IniTest, SameResultsAsALineByLineScan) {
    static const char* names[] = {"A", "b", "Sec", "A]x", "Long", "Missing"};
    static const char* keys[] = {"k", "K", "kx", "key", ";k", "x", "missing"};
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        Write(RandomFile(rng));
        CINIFile ini(CStr(path_.c_str()), true);
        LineScanner plain(path_);
        for (int step = 0; step < 25; ++step) {
            const unsigned op = rng() % 8;
            if (op == 0) {
                Write(RandomFile(rng));  // another writer
                continue;
            }
            if (op <= 2) {
                const int n = static_cast<int>(rng() % 8);
                CStr got;
                std::string want;
                ASSERT_EQ(ini.GetSectionName(n, got), plain.GetSectionName(n, want)) << n;
                ASSERT_EQ(Text(got), want);
            } else {
                const char* name = names[rng() % 6];
                const bool found = plain.FindSection(name);
                ASSERT_EQ(ini.FindSection(CStr(name)), found) << name;
                if (found) {
                    const char* key = keys[rng() % 7];
                    std::string want;
                    const bool hasKey = plain.FindKey(key, want);
                    ASSERT_EQ(ini.FindKey(CStr(key)), hasKey) << key;
                    if (hasKey) {
                        ASSERT_STREQ(ini.Value(), want.c_str());
                    }
                    ASSERT_EQ(ini.KeyPosition().Value(), plain.KeyPos());
                }
            }
            CFilePos pos;
            ASSERT_TRUE(ini.GetPos(pos));
            ASSERT_EQ(pos.Value(), plain.Pos());
            ASSERT_EQ(ini.AtEnd(), plain.Eof());
            ASSERT_STREQ(ini.LineBuffer(), plain.Line());
        }
    }
}

}  // namespace
