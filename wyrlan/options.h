// Command-line options of wyrlan.
#pragma once

#include <cstdint>
#include <string>

#include "quendril/include/quendril_control.h"

namespace wyrlan {

// The hash key internal clients must present unless --hash-key says otherwise.
inline constexpr const char* kDefaultHashKey = QUENDRIL_DEFAULT_HASH_KEY;
inline constexpr const char* kServerVersionText = "Wyrlan controller server 2.6.0";

struct Options {
    std::string db;                  // the configuration database; default $TALVORNE_ROOT/wyrlan.db
    std::string listen = "127.0.0.1";
    uint16_t callPort = 5123;
    uint16_t eventsPort = 5124;
    std::string hashKey = kDefaultHashKey;
    bool demoSite = false;
    std::string generateSite;        // "large": fill a new database with the benchmark site
    int maxSessions = 64;
    bool quiet = false;
};

enum class ParseResult { kRun, kHelp, kError };

// Parses argv into `options`. kHelp after --help (the caller prints Usage()), kError with a
// one-line reason in `error` for an unknown option, a missing value or a value out of range.
ParseResult ParseOptions(int argc, char** argv, Options& options, std::string& error);

// The --help text.
const char* Usage();

}  // namespace wyrlan
