#include "wyrlan/options.h"

#include <charconv>
#include <string_view>

#include "platform/paths.h"

namespace wyrlan {
namespace {

bool ParseInt(std::string_view text, long min, long max, long& out) {
    long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < min || v > max) return false;
    out = v;
    return true;
}

}  // namespace

const char* Usage() {
    return "Usage: wyrlan [options]\n"
           "The forecourt controller server.\n"
           "\n"
           "  --db FILE           configuration database (default $TALVORNE_ROOT/wyrlan.db)\n"
           "  --listen ADDR       IPv4 address to listen on (default 127.0.0.1)\n"
           "  --call-port N       port of the calls connections (default 5123)\n"
           "  --events-port N     port of the events connections (default 5124)\n"
           "  --hash-key KEY      hash key internal clients must present\n"
           "  --demo-site         fill a new database with a demo station\n"
           "  --generate-site large\n"
           "                      fill a new database with a large site (64 pumps, 10,000 card\n"
           "                      clients, ...) for benchmarks\n"
           "  --max-sessions N    most sessions at once, 1..4096 (default 64)\n"
           "  --quiet             log errors only\n"
           "  --help              this text\n"
           "\n"
           "SIGINT or SIGTERM stops the server; it exits with 0. Bad arguments exit with 2.\n";
}

ParseResult ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    options.db = platform::TalvorneRoot() + "/wyrlan.db";
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = "option " + std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view v;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            return ParseResult::kHelp;
        } else if (arg == "--demo-site") {
            options.demoSite = true;
        } else if (arg == "--generate-site") {
            if (!value(v)) return ParseResult::kError;
            if (v != "large") {
                error = "--generate-site knows only 'large', not '" + std::string(v) + "'";
                return ParseResult::kError;
            }
            options.generateSite = v;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--db") {
            if (!value(v)) return ParseResult::kError;
            if (v.empty()) {
                error = "--db needs a file name";
                return ParseResult::kError;
            }
            options.db = v;
        } else if (arg == "--listen") {
            if (!value(v)) return ParseResult::kError;
            options.listen = v;  // checked when the acceptors open
        } else if (arg == "--call-port" || arg == "--events-port") {
            if (!value(v)) return ParseResult::kError;
            if (!ParseInt(v, 1, 65535, n)) {
                error = std::string(arg) + " must be a port number 1..65535, not '" + std::string(v) + "'";
                return ParseResult::kError;
            }
            (arg == "--call-port" ? options.callPort : options.eventsPort) = static_cast<uint16_t>(n);
        } else if (arg == "--hash-key") {
            if (!value(v)) return ParseResult::kError;
            if (v.empty()) {
                error = "--hash-key must not be empty";
                return ParseResult::kError;
            }
            options.hashKey = v;
        } else if (arg == "--max-sessions") {
            if (!value(v)) return ParseResult::kError;
            if (!ParseInt(v, 1, 4096, n)) {
                error = "--max-sessions must be 1..4096, not '" + std::string(v) + "'";
                return ParseResult::kError;
            }
            options.maxSessions = static_cast<int>(n);
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return ParseResult::kError;
        }
    }
    if (options.demoSite && !options.generateSite.empty()) {
        error = "--demo-site and --generate-site exclude each other";
        return ParseResult::kError;
    }
    if (options.callPort == options.eventsPort) {
        error = "--call-port and --events-port must differ";
        return ParseResult::kError;
    }
    return ParseResult::kRun;
}

}  // namespace wyrlan
