// The exports of libQuendril.so: the library is opened by path with dlopen, as the tool does, and
// every name of the function table (plain and MT twin), of the tool's binding order, of the control
// interface and the BSTR functions must resolve to a symbol defined in that very file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/api/binding_order.h"
#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"

namespace {

namespace api = quendril::api;

// The path of the loaded libQuendril.so, found through one of its functions.
std::string LibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DllVersion), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::vector<std::string> ExpectedNames() {
    std::vector<std::string> names;
    for (const api::FunctionInfo& f : api::kFunctions) {
        names.push_back(f.name);
        // Everything that talks to the server has its MT twin; local helpers do not.
        if (f.kind != api::Kind::kLocal) names.push_back(std::string(f.name) + "MT");
    }
    for (const char* b : api::kBindingNames) names.push_back(b);
    for (const char* c : {"QuendrilInjectEvent", "QuendrilDropSession", "QuendrilHoldAnswers", "QuendrilServerSession"}) {
        names.push_back(c);
        names.push_back(std::string(c) + "MT");
    }
    for (const char* b : {"SysAllocStringLen", "SysFreeString", "SysStringLen"}) names.push_back(b);
    return names;
}

TEST(Exports, EveryNameResolvesInTheLibraryItself) {
    const std::string path = LibraryPath();
    ASSERT_NE(path.find("libQuendril.so"), std::string::npos) << path;
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();

    std::vector<std::string> names = ExpectedNames();
    EXPECT_EQ(api::kBindingNames.size(), 205u);
    std::set<std::string> missing, elsewhere;
    for (const std::string& name : names) {
        void* sym = dlsym(lib, name.c_str());
        if (sym == nullptr) {
            missing.insert(name);
            continue;
        }
        // Not found in a dependency: defined by libQuendril.so.
        Dl_info info{};
        if (dladdr(sym, &info) == 0 || info.dli_fname == nullptr || path != info.dli_fname) elsewhere.insert(name);
    }
    std::string list;
    for (const std::string& m : missing) list += " " + m;
    EXPECT_TRUE(missing.empty()) << missing.size() << " names missing:" << list;
    list.clear();
    for (const std::string& e : elsewhere) list += " " + e;
    EXPECT_TRUE(elsewhere.empty()) << "defined outside the library:" << list;
    dlclose(lib);
}

}  // namespace
