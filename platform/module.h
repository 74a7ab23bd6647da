// A shared library loaded at run time (dlopen/dlsym/dlclose).
#pragma once

#include <string>

namespace platform {

class Module {
public:
    Module() = default;
    ~Module() { Free(); }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the library; false when it cannot be loaded (LastError() says why).
    bool Load(const std::string& path);
    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    // Unloads; harmless when nothing is loaded.
    void Free();
    bool IsLoaded() const { return handle_ != nullptr; }
    const std::string& LastError() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
