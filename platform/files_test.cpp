#include "platform/files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/text.h"

namespace platform {
namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/platform_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string Wide(const std::string& name) const { return FromUtf8(Path(name)); }
    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
};

TEST_F(Files, MoveRefusesAnExistingTarget) {
    Write("a.L00", "new");
    Write("a.L01", "old");
    EXPECT_FALSE(MoveFile(Wide("a.L00").c_str(), Wide("a.L01").c_str()));
    EXPECT_EQ(Read("a.L00"), "new");
    EXPECT_EQ(Read("a.L01"), "old");

    ASSERT_TRUE(DeleteFile(Wide("a.L01").c_str()));
    EXPECT_TRUE(MoveFile(Wide("a.L00").c_str(), Wide("a.L01").c_str()));
    EXPECT_EQ(Read("a.L01"), "new");
    EXPECT_EQ(GetFileAttributes(Wide("a.L00").c_str()), kInvalidFileAttributes);

    EXPECT_FALSE(MoveFile(Wide("missing").c_str(), Wide("other").c_str()));
    EXPECT_FALSE(MoveFile(nullptr, Wide("other").c_str()));
}

TEST_F(Files, NonAsciiNamesReachTheDiskAsUtf8) {
    Write("caf\xC3\xA9.txt", "x");
    const std::u16string name = FromUtf8(dir_) + u"/caf\u00e9.txt";
    EXPECT_EQ(GetFileAttributes(name.c_str()), kFileAttributeNormal);
    const std::u16string moved = FromUtf8(dir_) + u"/\u20ac.txt";
    EXPECT_TRUE(MoveFile(name.c_str(), moved.c_str()));
    EXPECT_EQ(Read("\xE2\x82\xAC.txt"), "x");
}

TEST_F(Files, DeleteAndAttributes) {
    Write("file", "x");
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0700), 0);
    EXPECT_EQ(GetFileAttributes(Wide("file").c_str()), kFileAttributeNormal);
    EXPECT_EQ(GetFileAttributes(Wide("sub").c_str()), kFileAttributeDirectory);
    EXPECT_EQ(GetFileAttributes(Wide("none").c_str()), kInvalidFileAttributes);
    EXPECT_EQ(GetFileAttributes(nullptr), kInvalidFileAttributes);

    EXPECT_FALSE(DeleteFile(Wide("sub").c_str()));  // not for directories
    EXPECT_EQ(GetFileAttributes(Wide("sub").c_str()), kFileAttributeDirectory);
    EXPECT_TRUE(DeleteFile(Wide("file").c_str()));
    EXPECT_FALSE(DeleteFile(Wide("file").c_str()));
}

TEST_F(Files, CommitAndTruncate) {
    FILE* stream = fopen(Path("log").c_str(), "a+");
    ASSERT_NE(stream, nullptr);
    fputs("0123456789", stream);  // still buffered
    EXPECT_TRUE(CommitFile(stream));
    EXPECT_EQ(Read("log"), "0123456789");
    fputs("ab", stream);
    EXPECT_TRUE(TruncateFile(stream, 4));  // the buffered bytes go out first, then the cut
    EXPECT_EQ(Read("log"), "0123");
    EXPECT_FALSE(TruncateFile(stream, -1));
    fclose(stream);
    EXPECT_FALSE(CommitFile(nullptr));
    EXPECT_FALSE(TruncateFile(nullptr, 0));
}

}  // namespace
}  // namespace platform
