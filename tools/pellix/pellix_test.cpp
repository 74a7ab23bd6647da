// Runs the built archiver and checks its archives with unzip.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class PellixTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pellix_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_ / "locked", fs::perms::owner_all, ignored);
        fs::remove_all(dir_, ignored);
    }

    // Runs a shell command line, capturing its output streams.
    Outcome Shell(const std::string& commandLine) {
        const std::string command = commandLine + " >'" + (dir_ / "out").string() + "' 2>'" +
                                    (dir_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(dir_ / "out"),
                ReadAll(dir_ / "err")};
    }
    Outcome Pellix(const std::string& args) { return Shell(std::string("'") + PELLIX_PATH + "' " + args); }
    std::string Q(const fs::path& path) { return "\"" + path.string() + "\""; }

    fs::path dir_;
};

TEST_F(PellixTest, ArchivesOneFileUnderItsBaseName) {
    const std::string content = "line one\nline two\n" + std::string(5000, 'x') + "\n";
    WriteAll(dir_ / "Kestrum.L01", content);
    const fs::path zip = dir_ / "KestrumL01.zip";

    const Outcome run = Pellix("-Q -C " + Q(zip) + " " + Q(dir_ / "Kestrum.L01"));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");  // -Q: quiet on success
    EXPECT_EQ(Shell("unzip -t " + Q(zip)).code, 0);
    const Outcome list = Shell("unzip -Z1 " + Q(zip));
    EXPECT_EQ(list.out, "Kestrum.L01\n");
    EXPECT_EQ(Shell("unzip -p " + Q(zip) + " Kestrum.L01").out, content);
}

TEST_F(PellixTest, ReplacesAnExistingArchive) {
    WriteAll(dir_ / "old.txt", "old");
    WriteAll(dir_ / "new.txt", "new");
    const fs::path zip = dir_ / "a.zip";
    ASSERT_EQ(Pellix("-Q -C " + Q(zip) + " " + Q(dir_ / "old.txt")).code, 0);
    ASSERT_EQ(Pellix("-Q -C " + Q(zip) + " " + Q(dir_ / "new.txt")).code, 0);
    EXPECT_EQ(Shell("unzip -Z1 " + Q(zip)).out, "new.txt\n");

    // A file at the archive's place that is no archive at all is replaced too.
    WriteAll(zip, "not a zip");
    ASSERT_EQ(Pellix("-Q -C " + Q(zip) + " " + Q(dir_ / "old.txt")).code, 0);
    EXPECT_EQ(Shell("unzip -t " + Q(zip)).code, 0);
    EXPECT_EQ(Shell("unzip -Z1 " + Q(zip)).out, "old.txt\n");
}

TEST_F(PellixTest, FailsWithAMessageAndLeavesTheArchive) {
    WriteAll(dir_ / "keep.txt", "keep");
    const fs::path zip = dir_ / "k.zip";
    ASSERT_EQ(Pellix("-Q -C " + Q(zip) + " " + Q(dir_ / "keep.txt")).code, 0);
    const std::string before = ReadAll(zip);
    fs::create_directory(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    const struct {
        const char* name;
        std::string args;
    } cases[] = {
        {"missing file", "-Q -C " + Q(zip) + " " + Q(dir_ / "absent.L01")},
        {"directory as file", "-Q -C " + Q(zip) + " " + Q(dir_)},
        {"no -C", "-Q " + Q(zip) + " " + Q(dir_ / "keep.txt")},
        {"missing file argument", "-Q -C " + Q(zip)},
        {"unknown option", "-Q -X -C " + Q(zip) + " " + Q(dir_ / "keep.txt")},
        {"zip folder missing", "-Q -C " + Q(dir_ / "no" / "such" / "a.zip") + " " +
                                   Q(dir_ / "keep.txt")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = Pellix(c.args);
        EXPECT_NE(run.code, 0);
        EXPECT_NE(run.err, "");
        EXPECT_EQ(ReadAll(zip), before);
    }
    if (geteuid() != 0) {  // root writes anywhere
        const Outcome run = Pellix("-Q -C " + Q(dir_ / "locked" / "a.zip") + " " + Q(dir_ / "keep.txt"));
        EXPECT_NE(run.code, 0);
        EXPECT_NE(run.err, "");
    }
}

}  // namespace
