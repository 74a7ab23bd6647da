// libFuzzer target for CINIFile: the input is the file's contents, and the section and key names
// are pieces cut from the same input, so the names meet the file's own headers and keys.
// Every loop is bounded; the file is rewritten from the input on every run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/CINIFile.h"

namespace {

const std::string& TempPath() {
    static const std::string path = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/fuzz_ini_" + std::to_string(getpid()) + ".ini";
    }();
    return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
}

// Names: the texts between '[', ']', '=', CR and LF in the input, at most 12 of at most 120 bytes.
std::vector<std::string> NamesFrom(const uint8_t* data, size_t size) {
    std::vector<std::string> names;
    std::string current;
    for (size_t i = 0; i < size && names.size() < 12; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '[' || c == ']' || c == '=' || c == '\r' || c == '\n') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else if (current.size() < 120) {
            current.push_back(c);
        }
    }
    if (!current.empty() && names.size() < 12) names.push_back(current);
    names.push_back("S");
    names.push_back("");
    return names;
}

CStr Name(const std::vector<std::string>& names, uint8_t pick) {
    return CStr(names[pick % names.size()].c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 200000) return 0;
    const std::string& path = TempPath();
    WriteFile(path, data, size);
    const std::vector<std::string> names = NamesFrom(data, size);

    CINIFile ini(CStr(path.c_str()), true);
    CStr out;
    // The last 32 bytes (or fewer) choose the operations.
    const size_t ops = size < 32 ? size : 32;
    for (size_t i = 0; i + 1 < ops; i += 2) {
        const uint8_t op = data[size - 1 - i];
        const uint8_t arg = data[size - 2 - i];
        switch (op % 11) {
            case 0: ini.FindSection(Name(names, arg)); break;
            case 1: ini.FindKey(Name(names, arg)); break;
            case 2: ini.SetSection(Name(names, arg)); break;
            case 3: ini.GetString(Name(names, arg), out); break;
            case 4: ini.GetInt(Name(names, arg)); break;
            case 5: ini.GetCur(Name(names, arg)); break;
            case 6: ini.GetDate(Name(names, arg)); break;
            case 7: ini.SetString(Name(names, arg), Name(names, static_cast<uint8_t>(arg >> 4))); break;
            case 8: ini.AppendString(Name(names, arg), Name(names, static_cast<uint8_t>(arg >> 3))); break;
            case 9: ini.GetSectionText(Name(names, arg), out); break;
            case 10:
                // Enumerate from the given number, a bounded number of steps.
                if (ini.GetSectionName(arg % 8 + 1, out)) {
                    for (int step = 0; step < 64 && ini.GetNextSectionName(out); ++step) {
                        ini.SetSection(out);
                        ini.GetString(Name(names, arg), out);
                    }
                }
                break;
        }
    }
    ini.Close();
    unlink(path.c_str());
    return 0;
}
