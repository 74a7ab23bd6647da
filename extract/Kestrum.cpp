// The tool's entry: command line, logon with tries, client type, export or import, logoff.
#include "extract/Kestrum.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <strings.h>

#include "common/CLog.h"
#include "extract/CClientLibrary.h"
#include "platform/paths.h"

namespace kestrum {

bool VersionOnly = false;

namespace {
CLog* g_log = nullptr;
CClientLibrary* g_library = nullptr;

// Keyword comparison ignoring case. The CE build compares the arguments as wide text.
bool IsKeyword(const char* argument, const char* keyword) {
#ifdef KESTRUM_CE
    CStr wideArgument(argument, int(std::strlen(argument)));
    CStr wideKeyword(keyword);
    const char16_t* a = wideArgument.Wide();
    const char16_t* k = wideKeyword.Wide();
    int n = wideArgument.Length();
    if (n != wideKeyword.Length()) return false;
    for (int i = 0; i < n; ++i) {
        if (std::towlower(wint_t(a[i])) != std::towlower(wint_t(k[i]))) return false;
    }
    return true;
#else
    return strcasecmp(argument, keyword) == 0;
#endif
}

const char* ModeText(bool importMode) { return importMode ? "import" : "export"; }
}  // namespace

CStr LogBasePath() {
#ifdef KESTRUM_CE
    std::string base = platform::TalvorneRoot() + "/Kestrum";
#else
    std::string base = platform::TalvorneRoot() + "/log/Kestrum";
#endif
    return CStr(base.c_str());
}

void BindTool(CLog* log, CClientLibrary* library) {
    g_log = log;
    g_library = library;
}
CLog* ToolLog() { return g_log; }
CClientLibrary* ToolLibrary() { return g_library; }

int KestrumMain(int argc, char** argv) {
    if (std::setlocale(LC_ALL, "C") == nullptr) std::printf("Failed SetLocale \n");

    if (argc < 3) {
        std::printf("Kestrum IMPORT | EXPORT | VERSION <destination INI file name> [<server name>|<server IP>] "
                    "[/PAM | /Company] \n");
        return -1;
    }

    bool importMode = false;
    CStr fileName;
    CStr server("127.0.0.1");
    bool PAM = false, Company = false, GSC = false, IPT = false;
    bool NoProducts = false, NoAttendants = false, NoCardClients = false;

    CClientLibrary& library = *g_library;
    library.Load();

    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (IsKeyword(argument, "IMPORT")) {
            importMode = true;
        } else if (IsKeyword(argument, "EXPORT")) {
            importMode = false;
        } else if (IsKeyword(argument, "VERSION")) {
            importMode = false;
            VersionOnly = true;
        } else if (IsKeyword(argument, "/GSC")) {
            GSC = true;
        } else if (IsKeyword(argument, "/PAM")) {
            PAM = true;
            Company = false;
        } else if (IsKeyword(argument, "/COMPANY")) {
            Company = true;
            PAM = false;
        } else if (IsKeyword(argument, "/IPT")) {
            IPT = true;
        } else if (IsKeyword(argument, "/NoProducts")) {
            NoProducts = true;
        } else if (IsKeyword(argument, "/NoAttendants")) {
            NoAttendants = true;
        } else if (IsKeyword(argument, "/NoCardClients")) {
            NoCardClients = true;
        } else if (fileName.Length() == 0) {
            fileName = CStr(argument, int(std::strlen(argument)));
        } else {
            server = CStr(argument, int(std::strlen(argument)));
        }
    }
    if (IPT) GSC = true;
    if (GSC) {
        PAM = true;
        Company = false;
    }
    if (PAM) Company = false;

    if (fileName.Length() == 0) {
        std::printf("Kestrum IMPORT | EXPORT <destination INI file name> [<server name>|<server IP>] "
                    "[/PAM | /Company] \n");
        return -1;
    }

    std::printf("Kestrum %s - controller configuration export and import\n\n", kVersion);
    std::printf("Connecting to %s for %s.\n", server.Narrow(), ModeText(importMode));

    const int tries = importMode ? 6 : 1;
    int32_t result = 8;
    const CStr clientName(kClientName);
    const CStr hashKey(kHashKey);
    for (int attempt = 1; attempt <= tries && result != 0; ++attempt) {
        std::printf("Try %d, Connecting to %s for %s.\n", attempt, server.Narrow(), ModeText(importMode));
        result = library.Logon(kClientID, kClientType, clientName, kClientCategory, hashKey, 0, server, kCallPort,
                               kEventsPort, kCallTimeout, 0, 0, kMessageNo);
    }
    if (!ReportResult("Logon failed", result)) return -1;

    ReportResult("SetClientType failed", library.SetClientType(kClientKey));

    int status = importMode ? ImportConfiguration(fileName, NoProducts, NoAttendants, NoCardClients)
                            : ExportConfiguration(fileName, PAM, Company, GSC, IPT, NoProducts, NoAttendants,
                                                  NoCardClients);
    library.Logoff();
    return status;
}

}  // namespace kestrum

bool ReportResult(const char* message, int32_t result) {
    if (result == 0) return true;
    CLog* log = kestrum::ToolLog();
    if (log != nullptr) log->Write("%s - %d.", message, result);
    CStr text(u"");
    if (CClientLibrary* library = kestrum::ToolLibrary()) library->ResultString(result, text);
    // A null text from the library shows as nothing, like a missing one.
    const char* shown = text.IsNull() ? "" : text.Narrow();
    std::printf("%s - %s.\n", message, shown);
    if (log != nullptr) log->Write("%s - %s.", message, shown);
    return false;
}
