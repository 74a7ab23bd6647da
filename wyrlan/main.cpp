// wyrlan: the forecourt controller server. See options.cpp for the command line.
#include <cstdio>
#include <string>

#include <asio.hpp>

#include "wyrlan/log.h"
#include "wyrlan/options.h"
#include "wyrlan/server.h"

int main(int argc, char** argv) {
    wyrlan::Options options;
    std::string error;
    switch (wyrlan::ParseOptions(argc, argv, options, error)) {
        case wyrlan::ParseResult::kHelp:
            std::fputs(wyrlan::Usage(), stdout);
            return 0;
        case wyrlan::ParseResult::kError:
            std::fprintf(stderr, "wyrlan: %s\nTry 'wyrlan --help'.\n", error.c_str());
            return 2;
        case wyrlan::ParseResult::kRun:
            break;
    }
    wyrlan::SetLogQuiet(options.quiet);
    asio::io_context io(1);
    wyrlan::Server server(io, options);
    if (!server.Open(error)) {
        wyrlan::LogError("%s", error.c_str());
        return 3;
    }
    io.run();
    wyrlan::LogInfo("stopped");
    return 0;
}
