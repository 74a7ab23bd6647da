// One value of a call to the configuration store: an in-argument or an out-value of an API
// function, typed as the function table types its parameter. Plain data; copy freely.
//
//   Value::I32(7).AsInt()              // 7
//   Value::F64(2.5).AsInt()            // 2 (truncated)
//   Value::Text(u"12").AsInt()         // 12 (text read as a decimal number, 0 when it is not)
//   Value::NullText().IsNull()         // true; as text it reads as the empty string
//   Value::Date(45000.5).AsDouble()    // 45000.5 (an OLE Automation date)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quendril/api/api_types.h"

namespace wyrlan::store {

using quendril::api::Type;

struct Value {
    Type type = Type::kI32;
    int64_t i = 0;        // kI16, kU16, kI32, kI64
    double f = 0.0;       // kF64, kDate
    std::u16string text;  // kText
    bool null = false;    // kText only: a null BSTR

    static Value I16(int16_t v) { return Int(Type::kI16, v); }
    static Value U16(uint16_t v) { return Int(Type::kU16, v); }
    static Value I32(int32_t v) { return Int(Type::kI32, v); }
    static Value I64(int64_t v) { return Int(Type::kI64, v); }
    static Value F64(double v) { return Real(Type::kF64, v); }
    static Value Date(double v) { return Real(Type::kDate, v); }
    static Value Text(std::u16string_view v) {
        Value x;
        x.type = Type::kText;
        x.text.assign(v);
        return x;
    }
    static Value NullText() {
        Value x;
        x.type = Type::kText;
        x.null = true;
        return x;
    }
    // The zero of a type: 0, 0.0, or null text.
    static Value Zero(Type t);

    bool IsText() const { return type == Type::kText; }
    bool IsReal() const { return type == Type::kF64 || type == Type::kDate; }
    bool IsNull() const { return type == Type::kText && null; }

    // The value as a number of the other kind; text is read as a decimal number.
    int64_t AsInt() const;
    double AsDouble() const;
    // The value as text; numbers are formatted in decimal.
    std::u16string AsText() const;

    // This value converted to `t` (numbers truncated or widened, text parsed or formatted).
    Value As(Type t) const;

    bool operator==(const Value& o) const;

private:
    static Value Int(Type t, int64_t v) {
        Value x;
        x.type = t;
        x.i = v;
        return x;
    }
    static Value Real(Type t, double v) {
        Value x;
        x.type = t;
        x.f = v;
        return x;
    }
};

}  // namespace wyrlan::store
