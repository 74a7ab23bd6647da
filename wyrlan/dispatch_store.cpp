#include "wyrlan/dispatch_store.h"

#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/dispatch.h"
#include "wyrlan/handler_api.h"
#include "wyrlan/store/store.h"

namespace wyrlan {
namespace {

using quendril::api::Dir;
using quendril::api::Type;
using store::Value;

template <class T>
bool ReadNumber(wire::ValueReader& r, Value& v, Type type) {
    T x{};
    if (!r.Get(x)) return false;
    v.type = type;
    if constexpr (std::is_floating_point_v<T>) {
        v.f = x;
    } else {
        v.i = x;
    }
    return true;
}

bool ReadStoreValue(wire::ValueReader& r, Type type, Value& v) {
    switch (type) {
        case Type::kI16: return ReadNumber<int16_t>(r, v, type);
        case Type::kU16: return ReadNumber<uint16_t>(r, v, type);
        case Type::kI32: return ReadNumber<int32_t>(r, v, type);
        case Type::kI64: return ReadNumber<int64_t>(r, v, type);
        case Type::kF64:
        case Type::kDate: return ReadNumber<double>(r, v, type);
        case Type::kText: {
            std::optional<std::u16string> text;
            if (!r.GetText(text)) return false;
            v = text ? Value::Text(*text) : Value::NullText();
            return true;
        }
    }
    return false;
}

void WriteStoreValue(wire::ValueWriter& w, Type type, const Value& v) {
    Value x = v.type == type ? v : v.As(type);
    switch (type) {
        case Type::kI16: w.Put(static_cast<int16_t>(x.i)); break;
        case Type::kU16: w.Put(static_cast<uint16_t>(x.i)); break;
        case Type::kI32: w.Put(static_cast<int32_t>(x.i)); break;
        case Type::kI64: w.Put(static_cast<int64_t>(x.i)); break;
        case Type::kF64:
        case Type::kDate: w.Put(x.f); break;
        case Type::kText:
            if (x.null) {
                w.PutNull();
            } else {
                w.PutText(x.text.data(), x.text.size());
            }
            break;
    }
}

}  // namespace

bool StoreAnswers(const CallContext& call, const quendril::api::FunctionInfo& f) {
    return call.services.store != nullptr && call.services.store->Handles(f.id);
}

int32_t InvokeStore(CallContext& call, const quendril::api::FunctionInfo& f, uint32_t seq, wire::ValueReader in,
                    std::vector<uint8_t>& frame) {
    const auto params = quendril::api::ParamsOf(f);
    std::vector<Value> inValues;
    size_t outCount = 0;
    for (const auto& p : params) {
        if (p.dir == Dir::kOut) {
            ++outCount;
            continue;
        }
        if (p.dir != Dir::kIn) continue;
        Value v;
        if (!ReadStoreValue(in, p.type, v)) {
            frame = BareAnswer(seq, QUENDRIL_BAD_ARGUMENT);
            return QUENDRIL_BAD_ARGUMENT;
        }
        inValues.push_back(std::move(v));
    }
    if (in.Remaining() != 0) {
        frame = BareAnswer(seq, QUENDRIL_BAD_ARGUMENT);
        return QUENDRIL_BAD_ARGUMENT;
    }

    std::vector<Value> out;
    store::CallContext context;
    if (call.session) context.clientId = call.session->clientId;
    int32_t result = call.services.store->Call(f.id, inValues, out, context);
    if (result != 0 || out.size() != outCount) {
        if (result == 0) result = QUENDRIL_INTERNAL_ERROR;  // the store broke its own contract
        frame = BareAnswer(seq, result);
        return result;
    }
    wire::FrameWriter w;
    wire::ValueWriter& values = w.BeginAnswer(seq, result, static_cast<uint32_t>(outCount));
    size_t at = 0;
    for (const auto& p : params) {
        if (p.dir == Dir::kOut) WriteStoreValue(values, p.type, out[at++]);
    }
    if (!w.Finish(frame)) {
        frame = BareAnswer(seq, QUENDRIL_TOO_LARGE);
        return QUENDRIL_TOO_LARGE;
    }
    return result;
}

}  // namespace wyrlan
