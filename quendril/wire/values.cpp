#include "quendril/wire/values.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/bstr.h"
#include "platform/text.h"

namespace wire {

void ValueWriter::PutString(std::string_view utf8) {
    packer_.pack_str(static_cast<uint32_t>(utf8.size()));
    packer_.pack_str_body(utf8.data(), static_cast<uint32_t>(utf8.size()));
    ++count_;
}

void ValueWriter::Put(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    char buf[9];
    buf[0] = static_cast<char>(0xCB);
    for (int i = 0; i < 8; ++i) buf[1 + i] = static_cast<char>(bits >> (56 - 8 * i));
    sink_.write(buf, sizeof buf);
    ++count_;
}

void ValueWriter::PutText(const char16_t* units, size_t length) {
    if (units == nullptr) {
        PutNull();
        return;
    }
    // UTF-16 little-endian, whatever the host order; written in chunks to keep the stack small.
    packer_.pack_bin(static_cast<uint32_t>(length * 2));
    char chunk[512];
    size_t done = 0;
    while (done < length) {
        size_t n = std::min(length - done, sizeof chunk / 2);
        for (size_t i = 0; i < n; ++i) {
            char16_t u = units[done + i];
            chunk[2 * i] = static_cast<char>(u & 0xFF);
            chunk[2 * i + 1] = static_cast<char>(u >> 8);
        }
        packer_.pack_bin_body(chunk, static_cast<uint32_t>(n * 2));
        done += n;
    }
    ++count_;
}

void ValueWriter::PutText(const std::optional<std::u16string>& text) {
    if (!text) {
        PutNull();
        return;
    }
    PutText(text->data(), text->size());
}

void ValueWriter::PutBstr(BSTR text) { PutText(text, text ? SysStringLen(text) : 0); }

namespace {

// The integer in `o` if it is one and lies in [lo, hi].
template <class T>
bool ReadInteger(const msgpack::object& o, T& v) {
    if (o.type == msgpack::type::POSITIVE_INTEGER) {
        if (o.via.u64 > static_cast<uint64_t>(std::numeric_limits<T>::max())) return false;
        v = static_cast<T>(o.via.u64);
        return true;
    }
    if (o.type == msgpack::type::NEGATIVE_INTEGER) {
        if constexpr (std::numeric_limits<T>::is_signed) {
            if (o.via.i64 < static_cast<int64_t>(std::numeric_limits<T>::min())) return false;
            v = static_cast<T>(o.via.i64);
            return true;
        }
    }
    return false;
}

// The units of a text object: UTF-16LE bin, or UTF-8 str converted.
bool TextUnits(const msgpack::object& o, std::u16string& units) {
    if (o.type == msgpack::type::BIN) {
        if (o.via.bin.size % 2 != 0) return false;
        units.resize(o.via.bin.size / 2);
        const auto* p = reinterpret_cast<const uint8_t*>(o.via.bin.ptr);
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        }
        return true;
    }
    if (o.type == msgpack::type::STR) {
        units = platform::FromUtf8(o.via.str.ptr, o.via.str.size);
        return true;
    }
    return false;
}

}  // namespace

bool ReadValue(const msgpack::object& o, int16_t& v) { return ReadInteger(o, v); }
bool ReadValue(const msgpack::object& o, uint16_t& v) { return ReadInteger(o, v); }
bool ReadValue(const msgpack::object& o, int32_t& v) { return ReadInteger(o, v); }
bool ReadValue(const msgpack::object& o, uint32_t& v) { return ReadInteger(o, v); }
bool ReadValue(const msgpack::object& o, int64_t& v) { return ReadInteger(o, v); }
bool ReadValue(const msgpack::object& o, uint64_t& v) { return ReadInteger(o, v); }

bool ReadValue(const msgpack::object& o, double& v) {
    switch (o.type) {
        case msgpack::type::FLOAT32:
        case msgpack::type::FLOAT64: v = o.via.f64; return true;
        case msgpack::type::POSITIVE_INTEGER: v = static_cast<double>(o.via.u64); return true;
        case msgpack::type::NEGATIVE_INTEGER: v = static_cast<double>(o.via.i64); return true;
        default: return false;
    }
}

bool ReadValue(const msgpack::object& o, bool& v) {
    if (o.type != msgpack::type::BOOLEAN) return false;
    v = o.via.boolean;
    return true;
}

bool ReadText(const msgpack::object& o, std::optional<std::u16string>& text) {
    if (o.type == msgpack::type::NIL) {
        text.reset();
        return true;
    }
    std::u16string units;
    if (!TextUnits(o, units)) return false;
    text = std::move(units);
    return true;
}

bool ReadBstr(const msgpack::object& o, BSTR& text) {
    if (o.type == msgpack::type::NIL) {
        text = nullptr;
        return true;
    }
    if (o.type == msgpack::type::BIN && o.via.bin.size % 2 == 0) {
        // Straight into the BSTR, no intermediate string.
        uint32_t n = o.via.bin.size / 2;
        BSTR b = SysAllocStringLen(nullptr, n);
        if (b == nullptr) return false;
        const auto* p = reinterpret_cast<const uint8_t*>(o.via.bin.ptr);
        for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        text = b;
        return true;
    }
    std::u16string units;
    if (!TextUnits(o, units)) return false;
    BSTR b = SysAllocStringLen(units.data(), static_cast<uint32_t>(units.size()));
    if (b == nullptr) return false;
    text = b;
    return true;
}

bool ValueReader::GetText(std::optional<std::u16string>& text) {
    if (at_ >= count_ || !ReadText(items_[at_], text)) return false;
    ++at_;
    return true;
}

bool ValueReader::GetBstr(BSTR& text) {
    if (at_ >= count_ || !ReadBstr(items_[at_], text)) return false;
    ++at_;
    return true;
}

}  // namespace wire
