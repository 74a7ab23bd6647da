// String tables registered per module, looked up by id.
#include "platform/strings.h"

#include <map>
#include <mutex>
#include <utility>

namespace platform {
namespace {

struct Table {
    const StringResource* entries;
    size_t count;
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::map<const void*, Table>& Registry() {
    static std::map<const void*, Table> tables;
    return tables;
}

}  // namespace

void RegisterStringTable(const void* module, const StringResource* table, size_t count) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    if (table == nullptr || count == 0) {
        Registry().erase(module);
        return;
    }
    Registry()[module] = Table{table, count};
}

int LoadString(const void* module, unsigned id, char16_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = 0;
    const char16_t* text = nullptr;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        auto found = Registry().find(module);
        if (found == Registry().end()) return 0;
        for (size_t i = 0; i < found->second.count; ++i) {
            if (found->second.entries[i].id == id) {
                text = found->second.entries[i].text;
                break;
            }
        }
    }
    if (text == nullptr) return 0;
    int copied = 0;
    while (copied < capacity - 1 && text[copied] != 0) {
        buffer[copied] = text[copied];
        ++copied;
    }
    buffer[copied] = 0;
    return copied;
}

}  // namespace platform
