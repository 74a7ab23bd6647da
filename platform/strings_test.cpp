#include "platform/strings.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/paths.h"

namespace platform {
namespace {

const StringResource kProgram[] = {{3, u"Connected"}, {4, u"Offline"}};
const StringResource kOther[] = {{3, u"Conectado"}};
const int kModuleTag = 0;

TEST(Strings, LookupPerModuleAndTruncation) {
    RegisterStringTable(nullptr, kProgram, 2);
    RegisterStringTable(&kModuleTag, kOther, 1);
    char16_t buffer[16];
    EXPECT_EQ(LoadString(nullptr, 4, buffer, 16), 7);
    EXPECT_EQ(std::u16string(buffer), u"Offline");
    EXPECT_EQ(LoadString(&kModuleTag, 3, buffer, 16), 9);
    EXPECT_EQ(std::u16string(buffer), u"Conectado");

    EXPECT_EQ(LoadString(nullptr, 3, buffer, 4), 3);  // capacity - 1 units and a terminator
    EXPECT_EQ(std::u16string(buffer), u"Con");

    EXPECT_EQ(LoadString(&kModuleTag, 4, buffer, 16), 0);  // no such id in that module
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(LoadString(&kOther, 3, buffer, 16), 0);      // unknown module
    EXPECT_EQ(LoadString(nullptr, 3, buffer, 0), 0);
}

TEST(Paths, RootFromEnvironment) {
    const char* saved = std::getenv("TALVORNE_ROOT");
    const std::string keep = saved != nullptr ? saved : "";
    unsetenv("TALVORNE_ROOT");
    EXPECT_EQ(TalvorneRoot(), "/opt/talvorne");
    setenv("TALVORNE_ROOT", "", 1);
    EXPECT_EQ(TalvorneRoot(), "/opt/talvorne");
    setenv("TALVORNE_ROOT", "/srv/tv/", 1);
    EXPECT_EQ(TalvorneRoot(), "/srv/tv");
    if (saved != nullptr) setenv("TALVORNE_ROOT", keep.c_str(), 1); else unsetenv("TALVORNE_ROOT");
}

}  // namespace
}  // namespace platform
