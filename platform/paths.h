// The install root that stands in for the fixed Windows folders.
#pragma once

#include <string>

namespace platform {

// $TALVORNE_ROOT when set and not empty, else "/opt/talvorne". No trailing slash.
std::string TalvorneRoot();

}  // namespace platform
