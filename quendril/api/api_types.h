// The vocabulary of the generated function table (api_table.h): parameter types and directions,
// function kinds and flags, descriptor structs, and the type lists that templates expand.
//
// Everything here is constexpr data or type-level; nothing needs linking and nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "platform/wintypes.h"

namespace quendril::api {

// Parameter types of the table. kU16 appears only in the logons' port parameters.
enum class Type : uint8_t { kI16, kU16, kI32, kI64, kF64, kText, kDate };

// kIn: by value; kOut: by address, filled by the callee; kLocal: an input the library keeps
// to itself (never sent to the server).
enum class Dir : uint8_t { kIn, kOut, kLocal };

// kServer: sent to the server, has an MT twin. kSession: runs in the library on the session's
// own state (event queue, sockets), has an MT twin. kLocal: no session, no MT twin.
enum class Kind : uint8_t { kServer, kSession, kLocal };

// Function flags (FunctionInfo::flags, the Flags column of QUENDRIL_FUNCTIONS).
enum : uint32_t {
    kMethod = 1u << 0,       // the component offers a public method for it
    kUnchecked = 1u << 1,    // ... that skips the connection-loss check
    kReturnsText = 1u << 2,  // returns a BSTR instead of a result code
    kLogon = 1u << 3,        // creates the session; MT twin takes int32_t* and sets it
    kLogoff = 1u << 4,       // ends the session; MT twin takes int32_t* and sets it to 0
};

// The C type of one value of each table type.
template <Type T> struct ValueOf;
template <> struct ValueOf<Type::kI16> { using type = int16_t; };
template <> struct ValueOf<Type::kU16> { using type = uint16_t; };
template <> struct ValueOf<Type::kI32> { using type = int32_t; };
template <> struct ValueOf<Type::kI64> { using type = int64_t; };
template <> struct ValueOf<Type::kF64> { using type = double; };
template <> struct ValueOf<Type::kText> { using type = BSTR; };
template <> struct ValueOf<Type::kDate> { using type = DATE; };

// One parameter at the type level. `CType` is what the C function takes: the value for inputs,
// its address for outputs (BSTR* for output text).
template <Dir D, Type T>
struct Param {
    static constexpr Dir dir = D;
    static constexpr Type type = T;
    using Value = typename ValueOf<T>::type;
    using CType = std::conditional_t<D == Dir::kOut, Value*, Value>;
};

// The names the generated sig:: and rec:: lists use.
using in_i16 = Param<Dir::kIn, Type::kI16>;
using in_u16 = Param<Dir::kIn, Type::kU16>;
using in_i32 = Param<Dir::kIn, Type::kI32>;
using in_i64 = Param<Dir::kIn, Type::kI64>;
using in_f64 = Param<Dir::kIn, Type::kF64>;
using in_text = Param<Dir::kIn, Type::kText>;
using in_date = Param<Dir::kIn, Type::kDate>;
using out_i16 = Param<Dir::kOut, Type::kI16>;
using out_u16 = Param<Dir::kOut, Type::kU16>;
using out_i32 = Param<Dir::kOut, Type::kI32>;
using out_i64 = Param<Dir::kOut, Type::kI64>;
using out_f64 = Param<Dir::kOut, Type::kF64>;
using out_text = Param<Dir::kOut, Type::kText>;
using out_date = Param<Dir::kOut, Type::kDate>;
using local_i16 = Param<Dir::kLocal, Type::kI16>;
using local_u16 = Param<Dir::kLocal, Type::kU16>;
using local_i32 = Param<Dir::kLocal, Type::kI32>;
using local_i64 = Param<Dir::kLocal, Type::kI64>;
using local_f64 = Param<Dir::kLocal, Type::kF64>;
using local_text = Param<Dir::kLocal, Type::kText>;
using local_date = Param<Dir::kLocal, Type::kDate>;

// A parameter list. Fold over P... to handle every parameter; the counts say how many values
// travel in each direction on the wire.
template <class... P>
struct Params {
    static constexpr size_t kCount = sizeof...(P);
    static constexpr size_t kIn = ((P::dir == Dir::kIn ? 1 : 0) + ... + 0);
    static constexpr size_t kOut = ((P::dir == Dir::kOut ? 1 : 0) + ... + 0);
    // The plain C function type with result type R: R(int32_t, BSTR*, ...).
    template <class R> using CFunction = R(typename P::CType...);
    // The MT twin's function type: session handle (or its address) first.
    template <class R, class Session> using MTFunction = R(Session, typename P::CType...);
};

// Run-time descriptors (kParamPool, kFunctions, kRecords in api_table.h).
struct ParamInfo {
    const char* name;
    Dir dir;
    Type type;
};

enum class FunctionId : uint16_t;

struct FunctionInfo {
    const char* name;
    FunctionId id;
    Kind kind;
    uint32_t flags;      // kMethod | kUnchecked | ...
    int16_t bind;        // binding position 1..205, 0 when the tool does not bind it
    int16_t event;       // event kind a reader reads, 0 for other functions
    const char* record;  // a reader's record, else nullptr
    const char* method;  // the component's method name, else nullptr
    uint16_t firstParam; // into kParamPool
    uint16_t paramCount;
};

struct RecordInfo {
    const char* name;
    const char* delegate;
    int16_t kind;        // the event kind that carries this record on the wire, 0 for none
    uint16_t firstField; // into kParamPool (all Dir::kIn)
    uint16_t fieldCount;
};

}  // namespace quendril::api

// (a, b, c) -> a, b, c
#define QUENDRIL_UNPAREN(...) __VA_ARGS__
// QUENDRIL_PREPEND(int32_t s, (int32_t a, BSTR b)) -> int32_t s, int32_t a, BSTR b
// QUENDRIL_PREPEND(int32_t s, ())                   -> int32_t s
#define QUENDRIL_PREPEND(first, list) QUENDRIL_PREPEND_X(first, QUENDRIL_UNPAREN list)
#define QUENDRIL_PREPEND_X(first, ...) QUENDRIL_PREPEND_I(first, __VA_ARGS__)
#define QUENDRIL_PREPEND_I(first, ...) first __VA_OPT__(, ) __VA_ARGS__
