// Shared pieces of the tool's tests against real wyrlan servers: an install root with the real
// client library, a server on the tool's fixed ports at a loopback address of its own, runs of
// the built Kestrum (waited for or in the background), a direct session to read back what the
// server holds, and a reader of the INI files the tool writes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/bstr.h"
#include "platform/text.h"
#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"
#include "tool_fixture.h"
#include "wyrlan/testing/server_process.h"

namespace kestrum::testing {

// TALVORNE_ROOT with the real client library and a log folder.
class LiveRoot : public TempRoot {
public:
    LiveRoot() {
        std::filesystem::create_directory(*this / "log");
        std::filesystem::create_symlink(KESTRUM_QUENDRIL, *this / "libQuendril.so");
        // Sanitizer builds: the client library's logon leaves one allocation of the sanitizer
        // runtime behind; it is the library's, not the tool's.
        std::ofstream(*this / "lsan.supp") << "leak:libubsan\n";
    }
};

// wyrlan on `address` with the tool's ports; `site` is "--demo-site", "--generate-site large" or
// empty for an empty controller.
class LiveServer : public wyrlan::ServerProcess {
public:
    bool Start(const std::string& address, const std::string& site) {
        UseFixedPorts(kCallPort, kEventsPort);
        std::vector<std::string> args = {"--quiet"};
        if (site == "--demo-site") args.push_back(site);
        if (site == "--generate-site large") {
            args.push_back("--generate-site");
            args.push_back("large");
        }
        return ServerProcess::Start(address, args);
    }
};

inline std::string KestrumCommand(const TempRoot& root, const std::string& args) {
    return "cd '" + root.Path() + "' && LSAN_OPTIONS=suppressions='" + (root / "lsan.supp") + "' TALVORNE_ROOT='" +
           root.Path() + "' exec '" KESTRUM_EXE "' " + args;
}

// Runs Kestrum with `args` (shell words) in the root; its standard output and exit status.
inline ToolRun RunKestrum(const TempRoot& root, const std::string& args) {
    return RunShell(KestrumCommand(root, args) + " 2>>kestrum.stderr");
}

// Kestrum in the background, its output into root/<out>; Wait() gives the status. The destructor
// kills a run that was not waited for.
class BackgroundRun {
public:
    BackgroundRun(const TempRoot& root, const std::string& args, const std::string& out) : out_(root / out) {
        const std::string command = KestrumCommand(root, args) + " >'" + out_ + "' 2>>kestrum.stderr";
        pid_ = fork();
        if (pid_ == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~BackgroundRun() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int Wait() {
        int raw = 0;
        if (pid_ <= 0 || waitpid(pid_, &raw, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string Output() const { return ReadFile(out_); }

private:
    std::string out_;
    pid_t pid_ = -1;
};

// Polls `ready` every 5 ms for at most `seconds`.
template <class Ready>
bool WaitFor(Ready ready, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A BSTR out-variable, freed with the object.
class Out {
public:
    Out() = default;
    ~Out() { SysFreeString(text_); }
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    BSTR* operator&() { return &text_; }
    std::string Str() const { return text_ == nullptr ? "" : platform::ToUtf8(text_, SysStringLen(text_)); }

private:
    BSTR text_ = nullptr;
};

// An input BSTR for one call.
class In {
public:
    explicit In(const std::string& text) {
        std::u16string wide = platform::FromUtf8(text);
        text_ = SysAllocStringLen(wide.data(), uint32_t(wide.size()));
    }
    ~In() { SysFreeString(text_); }
    In(const In&) = delete;
    In& operator=(const In&) = delete;
    operator BSTR() const { return text_; }

private:
    BSTR text_ = nullptr;
};

// A session of the test's own with a server, for reading back what it holds.
class Session {
public:
    explicit Session(const std::string& address) {
        In name("kestrum-test"), key(QUENDRIL_DEFAULT_HASH_KEY), server(address);
        result_ = InternalClientLogonMT(&handle_, 901, 1, name, 1, key, 0, server, kCallPort, kEventsPort, 10000, 0,
                                        0, 1024);
    }
    ~Session() {
        if (handle_ != 0) ClientLogoffMT(&handle_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    int32_t Result() const { return result_; }
    int32_t Handle() const { return handle_; }

    // The IDs of every object of a kind, in ordinal order: count and lookup function MT twins.
    template <class Count, class ByOrdinal>
    std::vector<int32_t> Ids(Count count, ByOrdinal byOrdinal) const {
        std::vector<int32_t> ids;
        int32_t n = 0;
        if (count(handle_, &n) != 0) return ids;
        for (int32_t i = 1; i <= n; ++i) {
            int32_t id = 0;
            if (byOrdinal(handle_, i, &id) == 0) ids.push_back(id);
        }
        return ids;
    }
    std::vector<int32_t> ProductIds() const {
        return Ids(
            [](int32_t s, int32_t* n) {
                In e("");
                return GetProductsCountMT(s, n, -1, e, e, e, e, -1);
            },
            [](int32_t s, int32_t i, int32_t* id) {
                In e("");
                return GetProductByOrdinalMT(s, i, id, -1, e, e, e, e, -1);
            });
    }

private:
    int32_t handle_ = 0;
    int32_t result_ = 8;
};

// An INI file as the tool writes it: sections in file order, each with its keys in order.
struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
    // The value of a key, "<missing>" when the section has none.
    std::string operator[](const std::string& key) const {
        for (const auto& [k, v] : keys) {
            if (k == key) return v;
        }
        return "<missing>";
    }
};
class Ini {
public:
    explicit Ini(const std::string& text) {
        for (const std::string& line : Lines(text)) {
            if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
                sections_.push_back({line.substr(1, line.size() - 2), {}});
            } else if (!sections_.empty() && line.find('=') != std::string::npos) {
                const size_t eq = line.find('=');
                sections_.back().keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            }
        }
    }
    const std::vector<IniSection>& Sections() const { return sections_; }
    const IniSection* Find(const std::string& name) const {
        for (const auto& s : sections_) {
            if (s.name == name) return &s;
        }
        return nullptr;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& s : sections_) names.push_back(s.name);
        return names;
    }

private:
    std::vector<IniSection> sections_;
};

inline std::string Fmt(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The lines of an exported file without what may differ between two controllers holding the same
// configuration: the export's time, the network settings, the ZigBee network keys and what
// devices report about themselves.
inline std::vector<std::string> ConfigurationLines(const std::string& text) {
    static const char* const kVarying[] = {"DateGenerated=", "IPAddress=", "NetMask=", "Gateway=",
                                           "DNSServer=", "DHCP=", "NetworkName=", "PanID=", "Channels=",
                                           "KeyA=", "KeyB=", "CurrentSerialNo=", "BootVersion=",
                                           "FirmwareVersion="};
    std::vector<std::string> kept;
    for (const std::string& line : Lines(text)) {
        bool varying = false;
        for (const char* prefix : kVarying) varying = varying || line.rfind(prefix, 0) == 0;
        if (!varying) kept.push_back(line);
    }
    return kept;
}

}  // namespace kestrum::testing
