// Run-time loading of shared libraries.
#include "platform/module.h"

#include <dlfcn.h>

namespace platform {

bool Module::Load(const std::string& path) {
    Free();
    error_.clear();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    return true;
}

void* Module::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

void Module::Free() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace platform
