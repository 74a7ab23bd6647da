#include "wyrlan/store/redo_journal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wyrlan::store {
namespace {

constexpr size_t kHeader = 8;

uint32_t Fnv1a(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// Writes into the mapping; the caller checked the room.
struct Writer {
    uint8_t* p;
    template <class T>
    void Put(T v) {
        std::memcpy(p, &v, sizeof(T));  // the host is little-endian (x86-64, arm64)
        p += sizeof(T);
    }
    void Bytes(const void* data, size_t n) {
        std::memcpy(p, data, n);
        p += n;
    }
};

// Reads from a payload; every Get fails once the payload is exhausted.
struct Cursor {
    const uint8_t* p;
    size_t left;
    template <class T>
    bool Get(T& v) {
        if (left < sizeof(T)) return false;
        std::memcpy(&v, p, sizeof(T));
        p += sizeof(T);
        left -= sizeof(T);
        return true;
    }
    bool Bytes(void* out, size_t n) {
        if (left < n) return false;
        std::memcpy(out, p, n);
        p += n;
        left -= n;
        return true;
    }
};

size_t ValueSize(const Value& v) {
    if (v.IsText()) return 1 + 1 + 4 + v.text.size() * 2;
    return 1 + 8;
}

bool Decode(Cursor c, RedoRecord& r) {
    uint16_t nameLength = 0, count = 0;
    if (!c.Get(r.sequence) || !c.Get(nameLength)) return false;
    r.function.resize(nameLength);
    if (!c.Bytes(r.function.data(), nameLength) || !c.Get(r.clientId) || !c.Get(r.hostNow) || !c.Get(count))
        return false;
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        if (!c.Get(type) || type > static_cast<uint8_t>(Type::kDate)) return false;
        Value v = Value::Zero(static_cast<Type>(type));
        if (v.IsText()) {
            uint8_t null = 0;
            uint32_t units = 0;
            if (!c.Get(null) || !c.Get(units) || units > c.left / 2) return false;
            v.null = null != 0;
            v.text.resize(units);
            if (!c.Bytes(v.text.data(), units * 2u)) return false;
        } else if (v.IsReal()) {
            if (!c.Get(v.f)) return false;
        } else if (!c.Get(v.i)) {
            return false;
        }
        r.in.push_back(std::move(v));
    }
    return c.left == 0;
}

}  // namespace

RedoJournal::~RedoJournal() {
    if (map_) munmap(map_, kCapacity);
}

bool RedoJournal::Open(const std::string& path, std::string* error) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    bool ok = fd >= 0 && fstat(fd, &st) == 0;
    // Only ever grown: a shorter file is one from an older build or a cut copy; its tail reads
    // as zeros, which ends the records.
    if (ok && static_cast<size_t>(st.st_size) < kCapacity) ok = ftruncate(fd, static_cast<off_t>(kCapacity)) == 0;
    if (ok) {
        void* m = mmap(nullptr, kCapacity, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ok = m != MAP_FAILED;
        if (ok) map_ = static_cast<uint8_t*>(m);
    }
    if (!ok && error) *error = "cannot map the journal " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);  // the mapping keeps the file
    used_ = 0;
    return ok;
}

std::vector<RedoRecord> RedoJournal::ReadAll() const {
    std::vector<RedoRecord> records;
    if (!map_) return records;
    size_t at = 0;
    while (kCapacity - at >= kHeader) {
        uint32_t length = 0, sum = 0;
        std::memcpy(&length, map_ + at, 4);
        std::memcpy(&sum, map_ + at + 4, 4);
        if (length == 0 || length > kCapacity - at - kHeader || Fnv1a(map_ + at + kHeader, length) != sum) break;
        RedoRecord r;
        if (!Decode(Cursor{map_ + at + kHeader, length}, r)) break;
        records.push_back(std::move(r));
        at += kHeader + length;
    }
    found_ = at;
    return records;
}

size_t RedoJournal::RecordSize(std::string_view function, std::span<const Value> in) {
    size_t n = kHeader + 8 + 2 + function.size() + 4 + 8 + 2;
    for (const Value& v : in) n += ValueSize(v);
    return n;
}

bool RedoJournal::Append(uint64_t sequence, std::string_view function, int32_t clientId, double hostNow,
                         std::span<const Value> in) {
    if (!map_ || function.size() > UINT16_MAX || in.size() > UINT16_MAX) return false;
    const size_t size = RecordSize(function, in);
    if (size > kCapacity - used_) return false;
    uint8_t* record = map_ + used_;
    Writer w{record + kHeader};
    w.Put(sequence);
    w.Put(static_cast<uint16_t>(function.size()));
    w.Bytes(function.data(), function.size());
    w.Put(clientId);
    w.Put(hostNow);
    w.Put(static_cast<uint16_t>(in.size()));
    for (const Value& v : in) {
        w.Put(static_cast<uint8_t>(v.type));
        if (v.IsText()) {
            w.Put(static_cast<uint8_t>(v.null ? 1 : 0));
            w.Put(static_cast<uint32_t>(v.text.size()));
            w.Bytes(v.text.data(), v.text.size() * 2);
        } else if (v.IsReal()) {
            w.Put(v.f);
        } else {
            w.Put(v.i);
        }
    }
    const uint32_t length = static_cast<uint32_t>(size - kHeader);
    const uint32_t sum = Fnv1a(record + kHeader, length);
    std::memcpy(record + 4, &sum, 4);
    std::memcpy(record, &length, 4);
    used_ += size;
    return true;
}

bool RedoJournal::Truncate() {
    if (!map_) return false;
    std::memset(map_, 0, std::max(used_, found_));
    used_ = 0;
    found_ = 0;
    return true;
}

}  // namespace wyrlan::store
