// Values of the client-server protocol in msgpack (see quendril/PROTOCOL.md):
//   i16 u16 i32 i64  msgpack integers, smallest encoding; readers check the declared range
//   f64 date         float 64 (readers also take float 32 and integers)
//   text             nil for a null BSTR, else bin holding the UTF-16 units little-endian
//                    (readers also take str, UTF-8, from other clients)
// Writers never fail; readers return false on a value of the wrong type or range and leave
// the target untouched. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <msgpack.hpp>

#include "platform/wintypes.h"

namespace wire {

// Appends msgpack values to a byte vector, counting the values written at the top level.
class ValueWriter {
public:
    explicit ValueWriter(std::vector<uint8_t>& out) : sink_{&out}, packer_(sink_) {}
    ValueWriter(const ValueWriter&) = delete;  // the packer refers to this object's sink
    ValueWriter& operator=(const ValueWriter&) = delete;

    void Put(int16_t v) { packer_.pack_int16(v); ++count_; }
    void Put(uint16_t v) { packer_.pack_uint16(v); ++count_; }
    void Put(int32_t v) { packer_.pack_int32(v); ++count_; }
    void Put(int64_t v) { packer_.pack_int64(v); ++count_; }
    // f64 and date: always float 64. (msgpack-cxx's pack_double writes integral doubles as
    // integers, which loses -0.0 and the type.)
    void Put(double v);
    void PutUnsigned(uint64_t v) { packer_.pack_uint64(v); ++count_; }
    void PutBool(bool v) { v ? packer_.pack_true() : packer_.pack_false(); ++count_; }
    void PutString(std::string_view utf8);  // msgpack str, for names
    void PutNull() { packer_.pack_nil(); ++count_; }
    // Text: `units` null writes nil (null text); otherwise `length` UTF-16 units.
    void PutText(const char16_t* units, size_t length);
    void PutText(const std::optional<std::u16string>& text);
    // A BSTR (length from its prefix); null writes nil.
    void PutBstr(BSTR text);
    // The header of an array of `n` values; the array counts as one value.
    void PutArrayHeader(uint32_t n) { packer_.pack_array(n); ++count_; }

    size_t Count() const { return count_; }
    void ResetCount() { count_ = 0; }

private:
    struct Sink {
        std::vector<uint8_t>* out;
        void write(const char* data, size_t size) {
            out->insert(out->end(), reinterpret_cast<const uint8_t*>(data),
                        reinterpret_cast<const uint8_t*>(data) + size);
        }
    };
    Sink sink_;
    msgpack::packer<Sink> packer_;
    size_t count_ = 0;
};

// Single-object readers.
bool ReadValue(const msgpack::object& o, int16_t& v);
bool ReadValue(const msgpack::object& o, uint16_t& v);
bool ReadValue(const msgpack::object& o, int32_t& v);
bool ReadValue(const msgpack::object& o, uint32_t& v);
bool ReadValue(const msgpack::object& o, int64_t& v);
bool ReadValue(const msgpack::object& o, uint64_t& v);
bool ReadValue(const msgpack::object& o, double& v);
bool ReadValue(const msgpack::object& o, bool& v);
bool ReadText(const msgpack::object& o, std::optional<std::u16string>& text);
// A new BSTR for the text (null for nil); false on a wrong type or when memory runs out.
bool ReadBstr(const msgpack::object& o, BSTR& text);

// Reads the values of a msgpack array in order. The array must outlive the reader.
class ValueReader {
public:
    ValueReader() = default;
    ValueReader(const msgpack::object* items, uint32_t count) : items_(items), count_(count) {}

    size_t Remaining() const { return count_ - at_; }

    // Each reads the next value and moves on; false (without moving) when none is left or it
    // has the wrong type or range.
    template <class T>
    bool Get(T& v) {
        if (at_ >= count_ || !ReadValue(items_[at_], v)) return false;
        ++at_;
        return true;
    }
    bool GetText(std::optional<std::u16string>& text);
    bool GetBstr(BSTR& text);

private:
    const msgpack::object* items_ = nullptr;
    uint32_t count_ = 0;
    uint32_t at_ = 0;
};

}  // namespace wire
