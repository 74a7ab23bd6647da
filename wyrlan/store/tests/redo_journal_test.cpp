#include "wyrlan/store/redo_journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace wyrlan::store {
namespace {

class RedoJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (std::filesystem::temp_directory_path() / ("redo_test_" + std::to_string(getpid()))).string();
        std::filesystem::remove(path_);
    }
    void TearDown() override { std::filesystem::remove(path_); }

    // Flips one byte of the file at `offset`, as a torn or damaged record would look.
    void Damage(size_t offset) {
        std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(static_cast<std::streamoff>(offset));
        char c = 0;
        f.read(&c, 1);
        c = static_cast<char>(c ^ 0x5A);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(&c, 1);
    }

    std::string path_;
};

TEST_F(RedoJournalTest, RecordsComeBackWholeUpToTheFirstDamagedOne) {
    const std::vector<Value> in = {Value::I32(7), Value::Text(u"Diesel \u00e9"), Value::NullText(), Value::Text(u""),
                                   Value::F64(-0.0), Value::Date(45000.5), Value::I64(int64_t{1} << 40),
                                   Value::I16(-3)};
    size_t first = 0;
    {
        RedoJournal j;
        ASSERT_TRUE(j.Open(path_, nullptr));
        EXPECT_TRUE(j.ReadAll().empty());
        ASSERT_TRUE(j.Append(1, "SetGradePropertiesEx", 11, 45001.25, in));
        first = j.Used();
        ASSERT_TRUE(j.Append(2, "DeleteGrade", 12, 45001.5, std::vector<Value>{Value::I32(7)}));
        ASSERT_TRUE(j.Append(3, "DeleteGrade", 12, 45001.75, std::vector<Value>{Value::I32(8)}));
    }  // the process goes away without emptying the journal
    {
        RedoJournal j;
        ASSERT_TRUE(j.Open(path_, nullptr));
        auto records = j.ReadAll();
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].sequence, 1u);
        EXPECT_EQ(records[0].function, "SetGradePropertiesEx");
        EXPECT_EQ(records[0].clientId, 11);
        EXPECT_EQ(records[0].hostNow, 45001.25);
        EXPECT_EQ(records[0].in, in);
        EXPECT_TRUE(std::signbit(records[0].in[4].f));
        EXPECT_EQ(records[2].in, std::vector<Value>{Value::I32(8)});
    }
    Damage(first + 12);  // inside the second record
    {
        RedoJournal j;
        ASSERT_TRUE(j.Open(path_, nullptr));
        EXPECT_EQ(j.ReadAll().size(), 1u);
        // Emptied, it starts over; what was behind the new records does not come back.
        ASSERT_TRUE(j.Truncate());
        ASSERT_TRUE(j.Append(4, "DeleteGrade", 1, 1.0, std::vector<Value>{Value::I32(9)}));
        auto records = j.ReadAll();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].sequence, 4u);
    }
}

TEST_F(RedoJournalTest, ARecordThatDoesNotFitIsRefused) {
    RedoJournal j;
    ASSERT_TRUE(j.Open(path_, nullptr));
    std::u16string big(RedoJournal::kCapacity / 2, u'x');
    EXPECT_FALSE(j.Append(1, "SetIniValue", 1, 1.0, std::vector<Value>{Value::Text(big)}));
    EXPECT_EQ(j.Used(), 0u);
    EXPECT_TRUE(j.ReadAll().empty());
}

}  // namespace
}  // namespace wyrlan::store
