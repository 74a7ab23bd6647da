#include "common/CHFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class HFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hfile_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const char* leaf) const { return (dir_ / leaf).string(); }
    static void WriteAt(const std::string& path, const std::string& content) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    static std::string ReadAt(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

TEST(FilePosTest, LowBitsAndSignExtension) {
    CFilePos pos;
    EXPECT_EQ(pos.Value(), 0);
    pos = -2;
    EXPECT_EQ(pos.Value(), -2);
    pos.SetValue((int64_t{5} << 32) | 7);
    EXPECT_EQ(static_cast<int32_t>(pos), 7);
    pos.Clear();
    EXPECT_EQ(pos.Value(), 0);
}

TEST_F(HFileTest, OpenModesAndCreation) {
    const std::string path = PathOf("new.txt");
    CHFile reader(CStr(path.c_str()), false);
    EXPECT_FALSE(reader.Open());  // read mode never creates
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(reader.FileSize(), -1);
    EXPECT_FALSE(fs::exists(path));

    CHFile writer(CStr(path.c_str()), true);
    ASSERT_TRUE(writer.Open());  // write mode creates the missing file
    EXPECT_GE(writer.WriteText("hello\r\n"), 0);
    EXPECT_EQ(writer.Printf("%d-%s\n", 42, "x"), 5);
    EXPECT_TRUE(writer.Commit());
    EXPECT_EQ(writer.FileSize(), 12);
    EXPECT_EQ(ReadAt(path), "hello\r\n42-x\n");

    ASSERT_TRUE(writer.SetWriteMode(false));  // reopened read-only, at the start
    char line[8];
    ASSERT_NE(writer.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "hello\r\n");
    EXPECT_LT(writer.WriteText("no"), 0);
    writer.Close();
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(writer.ReadLine(line, sizeof line), nullptr);
    CFilePos none;
    EXPECT_FALSE(writer.GetPos(none));
    EXPECT_TRUE(writer.AtEnd());
    EXPECT_EQ(writer.FileSize(), 12);  // closed: measured without opening for writing
    EXPECT_FALSE(writer.IsOpen());
}

TEST_F(HFileTest, PositionsReadsAndCut) {
    const std::string path = PathOf("cut.txt");
    WriteAt(path, "0123456789\nabc\n");
    CHFile file(CStr(path.c_str()), true);
    ASSERT_TRUE(file.Open());
    EXPECT_EQ(file.ReadChar(), '0');
    char bytes[4] = {};
    EXPECT_EQ(file.ReadBytes(bytes, 3), 3);
    EXPECT_EQ(std::string(bytes, 3), "123");
    CFilePos pos;
    ASSERT_TRUE(file.GetPos(pos));
    EXPECT_EQ(pos.Value(), 4);
    char small[4];
    ASSERT_NE(file.ReadLine(small, sizeof small), nullptr);  // at most size - 1 characters
    EXPECT_STREQ(small, "456");
    ASSERT_TRUE(file.Seek(-4, CHFile::kEnd));
    ASSERT_NE(file.ReadLine(small, sizeof small), nullptr);
    EXPECT_STREQ(small, "abc");
    EXPECT_FALSE(file.AtEnd());
    EXPECT_EQ(file.ReadChar(), '\n');
    EXPECT_EQ(file.ReadChar(), EOF);
    EXPECT_TRUE(file.AtEnd());

    ASSERT_TRUE(file.SetPos(pos));
    EXPECT_EQ(file.WriteBytes("XY", 2), 2);
    EXPECT_TRUE(file.CutAtPosition());
    EXPECT_EQ(file.FileSize(), 6);
    file.Close();
    EXPECT_EQ(ReadAt(path), "0123XY");
}

TEST_F(HFileTest, ExistsRenameDelete) {
    const std::string path = PathOf("a.txt");
    const std::string moved = PathOf("b.txt");
    WriteAt(path, "abc");
    CHFile file(CStr(path.c_str()), true);
    ASSERT_TRUE(file.Open());
    EXPECT_TRUE(file.Exists());
    EXPECT_FALSE(file.IsOpen());  // Exists closes
    EXPECT_FALSE(file.DirExists());

    ASSERT_TRUE(file.Open());
    EXPECT_TRUE(file.Rename(CStr(moved.c_str())));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(std::string(CStr(file.Name()).Narrow()), moved);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadAt(moved), "abc");

    WriteAt(path, "other");
    CHFile second(CStr(path.c_str()), false);
    EXPECT_FALSE(second.Rename(CStr(moved.c_str())));  // the target exists: not moved
    EXPECT_EQ(std::string(CStr(second.Name()).Narrow()), moved);  // but the name is taken
    EXPECT_EQ(ReadAt(path), "other");

    EXPECT_TRUE(file.Delete());
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(file.Delete());

    CHFile dir(CStr(dir_.string().c_str()), false);
    EXPECT_TRUE(dir.DirExists());
    EXPECT_FALSE(dir.Exists());
    EXPECT_FALSE(dir.Delete());
    CHFile unnamed;
    EXPECT_FALSE(unnamed.Exists());
    EXPECT_FALSE(unnamed.DirExists());
    EXPECT_FALSE(unnamed.Open());
    EXPECT_EQ(unnamed.FileSize(), -1);
}

}  // namespace
