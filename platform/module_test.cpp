#include "platform/module.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Module, LoadLookUpAndFree) {
    Module module;
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_EQ(module.Symbol("cos"), nullptr);
    module.Free();  // harmless when nothing is loaded

    ASSERT_TRUE(module.Load("libm.so.6")) << module.LastError();
    EXPECT_TRUE(module.IsLoaded());
    auto* cosine = reinterpret_cast<double (*)(double)>(module.Symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(module.Symbol("NoSuchEntryPoint"), nullptr);
    module.Free();
    EXPECT_FALSE(module.IsLoaded());
}

TEST(Module, MissingLibraryReportsWhy) {
    Module module;
    EXPECT_FALSE(module.Load("/nonexistent/libQuendril.so"));
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_NE(module.LastError().find("libQuendril.so"), std::string::npos);
}

}  // namespace
}  // namespace platform
