// libFuzzer target for the tool's import: the input is the configuration file's contents, read by
// ImportConfiguration against the recording stand-in of the client library (loaded in-process,
// no server), which takes every write. The first byte also picks the three skip flags. The file
// is rewritten from the input on every run and the stand-in's trace is cleared after it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/CLog.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"

#ifndef FUZZ_QUENDRIL
#error "FUZZ_QUENDRIL must name the stand-in client library"
#endif

namespace {

struct Tool {
    std::string path;
    CLog* log = nullptr;
    CClientLibrary* library = nullptr;
    void (*reset)() = nullptr;

    Tool() {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string base = std::string(dir) + "/fuzz_import_" + std::to_string(getpid());
        path = base + ".ini";
        log = new CLog(CStr(base.c_str()), CStr("fuzz"), CLog::kNoTimeStamp, 2048000, 10, false, true);
        library = new CClientLibrary(*log, FUZZ_QUENDRIL);
        if (!library->Load()) std::abort();
        kestrum::BindTool(log, library);
        if (library->Logon(kestrum::kClientID, kestrum::kClientType, CStr(kestrum::kClientName),
                           kestrum::kClientCategory, CStr(kestrum::kHashKey), 0, CStr("127.0.0.1"), kestrum::kCallPort,
                           kestrum::kEventsPort, kestrum::kCallTimeout, 0, 0, kestrum::kMessageNo) != 0) {
            std::abort();
        }
        void* handle = dlopen(FUZZ_QUENDRIL, RTLD_NOW | RTLD_NOLOAD);
        reset = handle != nullptr ? reinterpret_cast<void (*)()>(dlsym(handle, "FakeReset")) : nullptr;
        if (reset == nullptr) std::abort();
        // The import's progress output is of no interest here.
        if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tool tool;
    FILE* out = std::fopen(tool.path.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
    const uint8_t flags = size > 0 ? data[0] : 0;
    if (ImportConfiguration(CStr(tool.path.c_str()), flags & 1, flags & 2, flags & 4) != 0) std::abort();
    tool.reset();
    return 0;
}
