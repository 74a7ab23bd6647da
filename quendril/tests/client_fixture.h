// Shared pieces of the client library's end-to-end tests: a live wyrlan on a loopback address
// of the test's own, logons against it, owned BSTRs and waiting for events.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "quendril/include/quendril.h"
#include "quendril/include/quendril_control.h"
#include "wyrlan/testing/server_process.h"

namespace quendril_test {

// Every event kind 1..27 passes.
inline constexpr int32_t kAllKinds = 0x7FFFFFF;

// An owned BSTR; null stays null.
class Text {
public:
    Text() = default;
    explicit Text(const std::u16string& s) : b_(SysAllocStringLen(s.data(), static_cast<uint32_t>(s.size()))) {}
    explicit Text(const char* ascii) {
        std::u16string s(ascii, ascii + std::char_traits<char>::length(ascii));
        b_ = SysAllocStringLen(s.data(), static_cast<uint32_t>(s.size()));
    }
    ~Text() { SysFreeString(b_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() { return &b_; }  // for out-parameters: the library frees what is there
    std::u16string str() const { return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string(); }
    std::string ascii() const {
        std::u16string s = str();
        return std::string(s.begin(), s.end());
    }

private:
    BSTR b_ = nullptr;
};

inline std::string RandomLoopback() {
    std::random_device rd;
    return "127.0.0." + std::to_string(2 + rd() % 249);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start(RandomLoopback())) << "wyrlan did not start"; }

    // An internal-client logon on its own session; 0 and the handle, or the result.
    int32_t LogonInternal(int32_t* handle, int32_t mask = kAllKinds, const char* key = QUENDRIL_DEFAULT_HASH_KEY,
                          int64_t window = 0, int32_t timeoutMs = 5000) {
        Text name("tester"), hash(key), host(server_.Address().c_str());
        return InternalClientLogonMT(handle, 7, 1, name.get(), 1, hash.get(), mask, host.get(), server_.CallPort(),
                                     server_.EventsPort(), timeoutMs, -1, window, 1024);
    }
    int32_t LogonEx(int32_t* handle, int64_t window = 0) {
        Text host(server_.Address().c_str());
        return ClientLogonExMT(handle, 8, 2, host.get(), server_.CallPort(), server_.EventsPort(), 5000, -1, window,
                               1024);
    }

    wyrlan::ServerProcess server_;
};

// Waits (at most `ms`) until an event is readable; its kind, 0 when none came.
inline int16_t WaitEvent(int32_t handle, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        int16_t kind = 0;
        if (ProcessEventsMT(handle) != 0) return 0;
        if (GetNextEventTypeMT(handle, &kind) == 0 && kind != 0) return kind;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

}  // namespace quendril_test
