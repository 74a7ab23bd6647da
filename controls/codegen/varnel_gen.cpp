// varnel_gen: writes the component's table-made declarations into its header templates.
//
//   varnel_gen <template> <output>
//
// Copies <template> to <output>, replacing these markers from the Quendril function table
// (quendril/api/functions.api through its generated descriptors):
//   @METHODS@              one line "    <ret> <Method>(<params>);" per function marked `method`
//                          (the logons and the logoff excepted: their methods take other
//                          arguments and are declared by hand)
//   @METHOD_DEFINITIONS@   the matching definitions, each handing its arguments to
//                          Varnel::detail::Wrap (controls/detail/Marshal.h)
//   @SIGNALS@              one signal per event record, fields as parameters
//   @DELEGATES@            one std::function delegate type per event record
//   @FIELDS <Record> <n>@  (inside a line) the record's fields from the n-th on, as parameters
//                          (@FIELDS <Record> <n> unused@: each marked [[maybe_unused]])
//   @ARGS <Record> <n>@    (inside a line) the same fields' names, as arguments
// Host types: i16 int16_t, i32 int32_t, i64 int64_t, f64 double, text QString, date QDateTime;
// inputs by value (texts and dates by const reference), outputs by reference.
// Exit status 0 on success, 1 on a bad argument, an unknown record or an unreadable file.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "quendril/api/api_table.h"

namespace {

using namespace quendril::api;

std::string HostType(const ParamInfo& p) {
    const bool out = p.dir == Dir::kOut;
    switch (p.type) {
        case Type::kI16: return out ? "int16_t&" : "int16_t";
        case Type::kU16: return out ? "uint16_t&" : "uint16_t";
        case Type::kI32: return out ? "int32_t&" : "int32_t";
        case Type::kI64: return out ? "int64_t&" : "int64_t";
        case Type::kF64: return out ? "double&" : "double";
        case Type::kText: return out ? "QString&" : "const QString&";
        case Type::kDate: return out ? "QDateTime&" : "const QDateTime&";
    }
    return "?";
}

std::string ParamList(std::span<const ParamInfo> params, bool unused = false) {
    std::string s;
    for (size_t i = 0; i < params.size(); ++i) {
        if (!s.empty()) s += ", ";
        s += (unused ? "[[maybe_unused]] " : "") + HostType(params[i]) + " " + params[i].name;
    }
    return s;
}

std::string ArgList(std::span<const ParamInfo> params) {
    std::string s;
    for (const ParamInfo& p : params) {
        if (!s.empty()) s += ", ";
        s += p.name;
    }
    return s;
}

bool IsTableMethod(const FunctionInfo& f) {
    return (f.flags & kMethod) != 0 && (f.flags & (kLogon | kLogoff)) == 0;
}

std::string ReturnType(const FunctionInfo& f) { return (f.flags & kReturnsText) ? "QString" : "int32_t"; }

const RecordInfo* FindRecord(std::string_view name) {
    for (const RecordInfo& r : kRecords) {
        if (name == r.name) return &r;
    }
    return nullptr;
}

bool Expand(const std::string& line, std::string& out) {
    std::string_view trimmed(line);
    while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
    if (trimmed == "@METHODS@") {
        for (const FunctionInfo& f : kFunctions) {
            if (!IsTableMethod(f)) continue;
            out += "    " + ReturnType(f) + " " + f.method + "(" + ParamList(ParamsOf(f)) + ");\n";
        }
        return true;
    }
    if (trimmed == "@METHOD_DEFINITIONS@") {
        for (const FunctionInfo& f : kFunctions) {
            if (!IsTableMethod(f)) continue;
            auto params = ParamsOf(f);
            std::string args = ArgList(params);
            out += ReturnType(f) + " Quendril::" + f.method + "(" + ParamList(params) + ") {\n";
            out += "    return detail::Wrap<FunctionId::" + std::string(f.name) + ", sig::" + f.name +
                   ">(*this, &::" + f.name + (args.empty() ? "" : ", ") + args + ");\n}\n";
        }
        return true;
    }
    if (trimmed == "@SIGNALS@") {
        for (const RecordInfo& r : kRecords) {
            out += "    void " + std::string(r.name) + "(" + ParamList(FieldsOf(r)) + ");\n";
        }
        return true;
    }
    if (trimmed == "@DELEGATES@") {
        for (const RecordInfo& r : kRecords) {
            out += "using " + std::string(r.delegate) + " = std::function<void(" + ParamList(FieldsOf(r)) + ")>;\n";
        }
        return true;
    }
    // Inline @FIELDS Record n@ and @ARGS Record n@ markers.
    std::string s = line;
    for (;;) {
        size_t fields = s.find("@FIELDS ");
        size_t argsAt = s.find("@ARGS ");
        size_t at = std::min(fields, argsAt);
        if (at == std::string::npos) break;
        const bool names = at == argsAt;
        const size_t skip = names ? 6 : 8;
        size_t end = s.find('@', at + 1);
        if (end == std::string::npos) return false;
        std::istringstream spec(s.substr(at + skip, end - at - skip));
        std::string record, flag;
        size_t from = 0;
        spec >> record >> from >> flag;
        const RecordInfo* r = FindRecord(record);
        if (r == nullptr || from > r->fieldCount) {
            std::fprintf(stderr, "varnel_gen: unknown record or field index in '%s'\n", line.c_str());
            return false;
        }
        auto list = FieldsOf(*r).subspan(from);
        s.replace(at, end - at + 1, names ? ArgList(list) : ParamList(list, flag == "unused"));
    }
    out += s + "\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnel_gen <template> <output>\n");
        return 1;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "varnel_gen: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string out = "// Generated by varnel_gen from " + std::string(argv[1]) + ". Do not edit.\n";
    std::string line;
    while (std::getline(in, line)) {
        if (!Expand(line, out)) return 1;
    }
    // Write only when the text changed, so that an unchanged header does not rebuild its users.
    std::ifstream old(argv[2]);
    if (old) {
        std::stringstream was;
        was << old.rdbuf();
        if (was.str() == out) return 0;
    }
    std::ofstream file(argv[2], std::ios::trunc);
    file << out;
    return file.good() ? 0 : 1;
}
