#include "platform/paths.h"

#include <cstdlib>

namespace platform {

std::string TalvorneRoot() {
    const char* root = std::getenv("TALVORNE_ROOT");
    std::string result = (root != nullptr && *root != '\0') ? std::string(root) : "/opt/talvorne";
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

}  // namespace platform
