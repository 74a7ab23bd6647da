#include "wyrlan/store/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace wyrlan::store {

namespace {

bool IsIntType(Type t) {
    return t == Type::kI16 || t == Type::kU16 || t == Type::kI32 || t == Type::kI64;
}

int64_t ParseInt(const std::u16string& s) {
    std::string narrow;
    for (char16_t c : s) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return std::strtoll(narrow.c_str(), nullptr, 10);
}

double ParseReal(const std::u16string& s) {
    std::string narrow;
    for (char16_t c : s) narrow.push_back(c < 128 ? static_cast<char>(c) : '?');
    return std::strtod(narrow.c_str(), nullptr);
}

std::u16string Widen(const char* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return out;
}

// Truncates `v` to the range of integer type `t` the way a C cast to that type does.
int64_t Narrow(Type t, int64_t v) {
    switch (t) {
        case Type::kI16: return static_cast<int16_t>(v);
        case Type::kU16: return static_cast<uint16_t>(v);
        case Type::kI32: return static_cast<int32_t>(v);
        default: return v;
    }
}

int64_t RealToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(d);
}

}  // namespace

Value Value::Zero(Type t) {
    if (t == Type::kText) return NullText();
    Value v;
    v.type = t;
    return v;
}

int64_t Value::AsInt() const {
    if (IsText()) return ParseInt(text);
    if (IsReal()) return RealToInt(f);
    return i;
}

double Value::AsDouble() const {
    if (IsText()) return ParseReal(text);
    if (IsReal()) return f;
    return static_cast<double>(i);
}

std::u16string Value::AsText() const {
    if (IsText()) return text;
    char buf[64];
    if (IsReal())
        std::snprintf(buf, sizeof buf, "%.17g", f);
    else
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(i));
    return Widen(buf);
}

Value Value::As(Type t) const {
    if (t == type) return *this;
    Value v;
    v.type = t;
    if (t == Type::kText) {
        v.text = AsText();
    } else if (t == Type::kF64 || t == Type::kDate) {
        v.f = AsDouble();
    } else if (IsIntType(t)) {
        v.i = Narrow(t, AsInt());
    }
    return v;
}

bool Value::operator==(const Value& o) const {
    if (type != o.type) return false;
    if (IsText()) return null == o.null && text == o.text;
    if (IsReal()) return f == o.f;
    return i == o.i;
}

}  // namespace wyrlan::store
