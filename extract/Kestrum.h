// Kestrum: the configuration tool's entry, its report of failed calls, and the export and import.
//
// The tool's program-wide objects (its CLog and its CClientLibrary) live in main.cpp; they are
// made known to the rest of the tool with BindTool() before the entry runs. Tests and the fuzz
// target bind their own. Everything here runs on one thread.
#pragma once

#include <cstdint>

#include "common/CStr.h"
#include "quendril/include/quendril_control.h"

class CClientLibrary;
class CLog;

namespace kestrum {

// The tool's version text: banner, log and IniVersion.
inline constexpr const char* kVersion = "2.6.0.0";

// The internal-client hash key presented at logon: the one wyrlan accepts by default.
inline constexpr const char* kHashKey = QUENDRIL_DEFAULT_HASH_KEY;

// The fixed logon identity and ports.
inline constexpr int32_t kClientID = 110;
inline constexpr int16_t kClientType = 5;
inline constexpr const char* kClientName = "Kestrum";
inline constexpr int16_t kClientCategory = 3;
inline constexpr uint16_t kCallPort = 5123;
inline constexpr uint16_t kEventsPort = 5124;
inline constexpr int32_t kCallTimeout = 10000;
inline constexpr int32_t kMessageNo = 1024;

// The log's base path: $TALVORNE_ROOT/log/Kestrum (CE build: $TALVORNE_ROOT/Kestrum).
CStr LogBasePath();

// Makes the log and the binding those of the tool (not owned; null unbinds).
void BindTool(CLog* log, CClientLibrary* library);
CLog* ToolLog();
CClientLibrary* ToolLibrary();

// Set by the VERSION keyword, never cleared; read by the export.
extern bool VersionOnly;

// The entry: command line in, exit status out (-1 usage error or failed logon, else the result of
// the export or import). The binding must be bound (BindTool).
int KestrumMain(int argc, char** argv);

}  // namespace kestrum

// True when result is 0. Otherwise logs "%s - %d.", prints "%s - %s.\n" with the library's text
// for the code (empty when the library or ResultString is missing), logs "%s - %s." and returns
// false.
bool ReportResult(const char* message, int32_t result);

// Writes the controller's configuration to the file (deleted first). 0 when everything was read,
// -1 at the first failed call (the file keeps what was written before it).
int ExportConfiguration(const CStr& fileName, bool PAM, bool Company, bool GSC, bool IPT, bool NoProducts,
                        bool NoAttendants, bool NoCardClients);

// Writes every object of the file into the controller, dependencies first. 0 whatever was
// written (failures show in the output, the log and the counters); -1 only when the file does
// not exist or cannot be read, after one line naming it (nothing is created then).
int ImportConfiguration(const CStr& fileName, bool NoProducts, bool NoAttendants, bool NoCardClients);
