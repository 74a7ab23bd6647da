// Shared pieces of the tool's tests: a temporary install root holding a stand-in client library
// as libQuendril.so, a log in it, and the binding made the tool's own.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"

namespace kestrum::testing {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A fresh directory, removed with the object.
// What a run of the tool gave: its standard output and exit status (-1 when it did not exit).
struct ToolRun {
    std::string output;
    int status = -1;
};

// Runs a shell command and collects its standard output.
inline ToolRun RunShell(const std::string& command) {
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

class TempRoot {
public:
    TempRoot() {
        char pattern[] = "/tmp/kestrum-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// TALVORNE_ROOT at a temporary root (with a log folder), `library` (a stand-in's path, or empty
// for none) as its libQuendril.so, a log without time stamps, the binding loaded and bound.
class ToolFixture {
public:
    explicit ToolFixture(const std::string& library) {
        setenv("TALVORNE_ROOT", root_.Path().c_str(), 1);
        std::filesystem::create_directory(root_ / "log");
        if (!library.empty()) std::filesystem::create_symlink(library, root_ / "libQuendril.so");
        log_ = std::make_unique<CLog>(CStr((root_ / "log/Kestrum").c_str()), CStr("test"), CLog::kNoTimeStamp,
                                      2048000, 10, false, true);
        binding_ = std::make_unique<CClientLibrary>(*log_);
        loaded_ = binding_->Load();
        BindTool(log_.get(), binding_.get());
    }
    ~ToolFixture() {
        BindTool(nullptr, nullptr);
        binding_.reset();
        log_.reset();
        unsetenv("TALVORNE_ROOT");
    }

    CClientLibrary& Library() { return *binding_; }
    bool Loaded() const { return loaded_; }
    const TempRoot& Root() const { return root_; }

    // The log's lines so far.
    std::vector<std::string> LogLines() {
        log_->Flush();
        return Lines(ReadFile(root_ / "log/Kestrum.L00"));
    }

    // The stand-in's trace of calls, and its control functions.
    std::string Trace() { return Fake<const char* (*)()>("FakeTrace")(); }
    void ResetTrace() { Fake<void (*)()>("FakeReset")(); }
    void Fail(const char* name, int32_t code) { Fake<void (*)(const char*, int32_t)>("FakeFail")(name, code); }

    // Logs on as the tool does.
    int32_t Logon() {
        return binding_->Logon(kClientID, kClientType, CStr(kClientName), kClientCategory, CStr(kHashKey), 0,
                               CStr("127.0.0.1"), kCallPort, kEventsPort, kCallTimeout, 0, 0, kMessageNo);
    }

private:
    template <class Function>
    Function Fake(const char* name) {
        void* handle = dlopen(binding_->Path().c_str(), RTLD_NOW | RTLD_NOLOAD);
        void* symbol = handle != nullptr ? dlsym(handle, name) : nullptr;
        if (handle != nullptr) dlclose(handle);
        return reinterpret_cast<Function>(symbol);
    }

    TempRoot root_;
    std::unique_ptr<CLog> log_;
    std::unique_ptr<CClientLibrary> binding_;
    bool loaded_ = false;
};

}  // namespace kestrum::testing
