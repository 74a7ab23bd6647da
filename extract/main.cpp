// The tool's program-wide objects and its process entry point.
//
// The log is built first and the binding second, both before main() runs; they are destroyed in
// reverse order after it returns, so the library is unloaded before the log writes its stop
// line. The log directory is not created here: a log that cannot be written loses its text.
#include "common/CLog.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"

namespace {

#ifdef KESTRUM_CE
const std::string g_archiver = CLog::ArchiverPath();
const char* const kArchiver = g_archiver.c_str();
#else
const char* const kArchiver = nullptr;
#endif

CLog g_log(kestrum::LogBasePath(), CStr(kestrum::kVersion), CLog::kElapsedTimeStamp, 2048000, 10, true, true,
           kArchiver);
CClientLibrary g_library(g_log);

const bool g_bound = (kestrum::BindTool(&g_log, &g_library), true);

}  // namespace

int main(int argc, char** argv) {
    (void)g_bound;
    return kestrum::KestrumMain(argc, argv);
}
