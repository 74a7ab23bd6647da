#!/usr/bin/env python3
"""Reads quendril/api/functions.api and writes the generated headers of the client library.

    genapi.py TABLE OUTDIR     writes OUTDIR/quendril_api.h, api_table.h and binding_order.h
    genapi.py --check TABLE    only parses and checks the table

A malformed table stops the build with "TABLE:LINE: message" on stderr and exit status 1.
The line format is described at the top of functions.api.
"""

import os
import re
import sys

TYPES = ('i16', 'u16', 'i32', 'i64', 'f64', 'text', 'date')
C_IN = {'i16': 'int16_t', 'u16': 'uint16_t', 'i32': 'int32_t', 'i64': 'int64_t',
        'f64': 'double', 'text': 'BSTR', 'date': 'DATE'}
KINDS = ('server', 'session', 'local')
DIRS = ('in', 'out', 'local')
FLAG_ATTRS = ('method', 'unchecked', 'logon', 'logoff')
VALUE_ATTRS = ('bind', 'method', 'returns', 'event', 'record', 'kind', 'delegate')
LOGON_TAIL = [('local', 'EventHandle', 'i32'), ('local', 'Window', 'i64'), ('local', 'MessageNo', 'i32')]
IDENT = re.compile(r'^[A-Za-z_][A-Za-z0-9_]*$')
MAX_EVENT_KIND = 32767


class TableError(Exception):
    def __init__(self, line, message):
        super().__init__(message)
        self.line = line
        self.message = message


class Param:
    def __init__(self, direction, name, type_):
        self.dir, self.name, self.type = direction, name, type_

    def key(self):
        return (self.dir, self.name, self.type)


class Entry:
    """A function or a record, as read from one line."""

    def __init__(self, line, name, kind, attrs, params, section):
        self.line, self.name, self.kind, self.attrs, self.params = line, name, kind, attrs, params
        self.section = section
        self.id = -1

    def flag(self, name):
        return self.attrs.get(name) is True

    def value(self, name):
        v = self.attrs.get(name)
        return None if v is True else v

    @property
    def bind(self):
        return int(self.value('bind') or 0)

    @property
    def event(self):
        return int(self.value('event') or 0)

    @property
    def returns_text(self):
        return self.value('returns') == 'text'

    @property
    def has_mt(self):
        return self.kind in ('server', 'session')

    @property
    def handle_pointer(self):
        return self.flag('logon') or self.flag('logoff')

    def method_name(self):
        if 'method' not in self.attrs:
            return None
        return self.name if self.attrs['method'] is True else self.attrs['method']

    def wire_params(self):
        return [p for p in self.params if p.dir != 'local']


def parse_params(line, text):
    params = []
    text = text.strip()
    if not text:
        return params
    for item in text.split(','):
        item = item.strip()
        if not item:
            raise TableError(line, 'empty parameter (stray comma?)')
        words = item.split()
        direction = 'in'
        if words[0] in ('out', 'local'):
            direction = words[0]
            words = words[1:]
        if len(words) != 1 or words[0].count(':') != 1:
            raise TableError(line, "parameter '%s' is not [out|local] Name:type" % item)
        name, type_ = words[0].split(':')
        if not IDENT.match(name):
            raise TableError(line, "parameter name '%s' is not an identifier" % name)
        if type_ not in TYPES:
            raise TableError(line, "parameter '%s' has unknown type '%s' (one of %s)" % (name, type_, ' '.join(TYPES)))
        if any(p.name == name for p in params):
            raise TableError(line, "parameter '%s' appears twice" % name)
        params.append(Param(direction, name, type_))
    return params


def parse_attrs(line, words, allowed_values, allowed_flags):
    attrs = {}
    for w in words:
        if '=' in w:
            key, value = w.split('=', 1)
            if key not in allowed_values or not value:
                raise TableError(line, "unknown attribute '%s'" % w)
        else:
            key, value = w, True
            if key not in allowed_flags:
                raise TableError(line, "unknown attribute '%s'" % w)
        if key in attrs:
            raise TableError(line, "attribute '%s' given twice" % key)
        attrs[key] = value
    for key in ('bind', 'event', 'kind'):
        if key in attrs and not re.match(r'^[0-9]+$', str(attrs[key])):
            raise TableError(line, "%s=%s is not a number" % (key, attrs[key]))
    return attrs


def parse_table(path):
    """Returns (functions, records) in file order; raises TableError."""
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    functions, records, names = [], [], {}
    section, prev_rule, just_titled = None, False, False
    for number, raw in enumerate(lines, 1):
        stripped = raw.strip()
        if stripped.startswith('#'):
            text = stripped[1:].strip()
            # A section title stands between two rules of dashes.
            if re.match(r'^-{10,}$', text):
                prev_rule = not just_titled
                just_titled = False
            elif prev_rule and text:
                section, prev_rule, just_titled = text, False, True
            else:
                prev_rule = just_titled = False
            continue
        line = raw.split('#', 1)[0].strip()
        if not line:
            continue
        if '|' not in line:
            raise TableError(number, "missing '|' between the name and the parameters")
        head, tail = line.split('|', 1)
        if '|' in tail:
            raise TableError(number, "more than one '|'")
        words = head.split()
        if words[0] == 'record':
            if len(words) < 2 or not IDENT.match(words[1]):
                raise TableError(number, 'record without a valid name')
            attrs = parse_attrs(number, words[2:], ('kind', 'delegate'), ())
            entry = Entry(number, words[1], 'record', attrs, parse_params(number, tail), section)
            if any(p.dir != 'in' for p in entry.params):
                raise TableError(number, 'record fields take no out/local prefix')
            if entry.name in {r.name for r in records}:
                raise TableError(number, "record '%s' defined twice" % entry.name)
            records.append(entry)
            continue
        if len(words) < 2:
            raise TableError(number, 'expected <Name> <kind> [attributes] | <parameters>')
        name, kind = words[0], words[1]
        if not IDENT.match(name):
            raise TableError(number, "function name '%s' is not an identifier" % name)
        if kind not in KINDS:
            raise TableError(number, "unknown kind '%s' (one of %s)" % (kind, ' '.join(KINDS)))
        if name in names:
            raise TableError(number, "function '%s' already defined on line %d" % (name, names[name]))
        attrs = parse_attrs(number, words[2:], ('bind', 'method', 'returns', 'event', 'record'), FLAG_ATTRS)
        entry = Entry(number, name, kind, attrs, parse_params(number, tail), section)
        entry.id = len(functions)
        names[name] = number
        functions.append(entry)
    check(functions, records)
    return functions, records


def check(functions, records):
    by_record = {r.name: r for r in records}
    binds = {}
    for f in functions:
        if 'returns' in f.attrs:
            if f.value('returns') != 'text':
                raise TableError(f.line, 'returns= takes only text')
            if f.kind != 'local':
                raise TableError(f.line, 'returns=text is only for local functions')
        if f.handle_pointer and f.kind != 'server':
            raise TableError(f.line, 'logon and logoff functions are server functions')
        if f.flag('logon'):
            tail = [p.key() for p in f.params[-3:]]
            if tail != LOGON_TAIL:
                raise TableError(f.line, 'a logon ends with local EventHandle:i32, local Window:i64, local MessageNo:i32')
        if f.bind:
            if f.bind in binds:
                raise TableError(f.line, 'bind=%d already used by %s' % (f.bind, binds[f.bind].name))
            if not f.has_mt and f.name not in ('DllVersion', 'ResultString'):
                raise TableError(f.line, 'a bound local function must be DllVersion or ResultString')
            binds[f.bind] = f
        if ('event' in f.attrs) != ('record' in f.attrs):
            raise TableError(f.line, 'an event reader needs both event= and record=')
        if 'event' in f.attrs:
            if f.kind != 'session':
                raise TableError(f.line, 'event readers are session functions')
            if not 1 <= f.event <= MAX_EVENT_KIND:
                raise TableError(f.line, 'event=%d out of range' % f.event)
            record = by_record.get(f.value('record'))
            if record is None:
                raise TableError(f.line, "record '%s' is not defined" % f.value('record'))
            want = [('out', p.name, p.type) for p in record.params]
            got = [p.key() for p in f.params]
            if want != got:
                at = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
                raise TableError(f.line, "parameters differ from record %s (line %d) at position %d" %
                                 (record.name, record.line, at + 1))
    if binds and sorted(binds) != list(range(1, len(binds) + 1)):
        missing = sorted(set(range(1, max(binds) + 1)) - set(binds))
        raise TableError(functions[-1].line, 'binding positions are not contiguous; missing %s' % missing[:10])
    kinds = {}
    for r in records:
        if 'kind' in r.attrs:
            k = int(r.value('kind'))
            if not 1 <= k <= MAX_EVENT_KIND:
                raise TableError(r.line, 'kind=%d out of range' % k)
            if k in kinds:
                raise TableError(r.line, 'kind=%d already carried by %s' % (k, kinds[k].name))
            kinds[k] = r
            readers = [f for f in functions if f.event == k and f.value('record') == r.name]
            if len(readers) != 1:
                raise TableError(r.line, 'record %s of kind %d needs exactly one reader, has %d' % (r.name, k, len(readers)))
    for f in functions:
        if f.event and f.event not in kinds:
            raise TableError(f.line, 'no record carries event kind %d' % f.event)


# ---- output ------------------------------------------------------------------------------------

BANNER = '// Generated by quendril/api/genapi.py from quendril/api/functions.api. Do not edit.\n'


def c_type(p):
    base = C_IN[p.type]
    return base + '*' if p.dir == 'out' else base


def c_params(f, with_session):
    items = []
    if with_session:
        items.append('int32_t* pSessionHandle' if f.handle_pointer else 'int32_t SessionHandle')
    items += ['%s %s' % (c_type(p), p.name) for p in f.params]
    return items


def wrap(prefix, items, indent=4, width=100):
    """'prefix(a, b, c);' wrapped at `width`, continuation lines indented."""
    if not items:
        return prefix + '(void);'
    text = prefix + '(' + ', '.join(items) + ');'
    if len(text) <= width:
        return text
    out, line = [], prefix + '('
    for i, item in enumerate(items):
        piece = item + (', ' if i + 1 < len(items) else ');')
        if len(line) + len(piece.rstrip()) > width and line.strip():
            out.append(line.rstrip())
            line = ' ' * indent
        line += piece
    out.append(line.rstrip())
    return '\n'.join(out)


def sections(functions):
    current = object()
    for f in functions:
        if f.section != current:
            current = f.section
            yield f, True
        else:
            yield f, False


def gen_c_header(functions):
    o = [BANNER, '// The C declarations of every client function and of every MT twin. Include',
         '// "quendril/include/quendril.h", which states the rules these functions follow.',
         '#pragma once', '',
         '#ifndef QUENDRIL_TYPES_DEFINED',
         '#error "include quendril/include/quendril.h instead of this file"',
         '#endif', '',
         '#ifndef QUENDRIL_EXPORT',
         '#define QUENDRIL_EXPORT __attribute__((visibility("default")))',
         '#endif', '',
         '#ifdef __cplusplus', 'extern "C" {', '#endif']
    for f, new_section in sections(functions):
        if new_section:
            o += ['', '/* ---- %s ---- */' % (f.section or 'Functions')]
        ret = 'BSTR' if f.returns_text else 'int32_t'
        o.append('')
        o.append(wrap('QUENDRIL_EXPORT %s %s' % (ret, f.name), c_params(f, False)))
        if f.has_mt:
            o.append(wrap('QUENDRIL_EXPORT %s %sMT' % (ret, f.name), c_params(f, True)))
    o += ['', '#ifdef __cplusplus', '}  /* extern "C" */', '#endif', '']
    return '\n'.join(o)


def cxx_string(s):
    return 'nullptr' if s is None else '"%s"' % s


def tag(p):
    return '%s_%s' % (p.dir, p.type)


def flags_expr(f):
    names = [('kMethod', f.method_name() is not None), ('kUnchecked', f.flag('unchecked')),
             ('kReturnsText', f.returns_text), ('kLogon', f.flag('logon')), ('kLogoff', f.flag('logoff'))]
    used = [n for n, on in names if on]
    return ' | '.join(used) if used else '0'


def digest(functions, records):
    """FNV-1a 64 over what the wire depends on: function order, wire parameters, event records."""
    text = []
    for f in functions:
        text.append('%s %s %s' % (f.name, f.kind, ','.join(p.dir + ':' + p.type for p in f.wire_params())))
    for r in records:
        if 'kind' in r.attrs:
            text.append('record %s %s %s' % (r.name, r.value('kind'), ','.join(p.type for p in r.params)))
    h = 0xcbf29ce484222325
    for b in '\n'.join(text).encode():
        h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h


def gen_table_header(functions, records):
    o = [BANNER,
         '// The function table for C++ code: ids, descriptors, parameter type lists and the',
         '// QUENDRIL_FUNCTIONS / QUENDRIL_RECORDS X-macros. Types and helpers: api_types.h.',
         '#pragma once', '',
         '#include <cstddef>', '#include <cstdint>', '#include <span>', '#include <string_view>', '',
         '#include "quendril/api/api_types.h"', '',
         'namespace quendril::api {', '',
         '// Function ids: the order of functions.api, also the function number on the wire.',
         'enum class FunctionId : uint16_t {']
    o += ['    %s = %d,' % (f.name, f.id) for f in functions]
    o += ['};', '', 'inline constexpr size_t kFunctionCount = %d;' % len(functions),
          'inline constexpr size_t kRecordCount = %d;' % len(records),
          '', '// Digest of function order, wire parameters and event records; see PROTOCOL.md.',
          'inline constexpr uint64_t kApiDigest = 0x%016xULL;' % digest(functions, records), '',
          '// Parameter type lists, one per function: Params<in_i32, out_text, ...>.',
          'namespace sig {']
    for f in functions:
        o.append('using %s = Params<%s>;' % (f.name, ', '.join(tag(p) for p in f.params)))
    o += ['}  // namespace sig', '', '// Field type lists of the event records: Params<in_i32, in_text, ...>.', 'namespace rec {']
    for r in records:
        o.append('using %s = Params<%s>;' % (r.name, ', '.join(tag(p) for p in r.params)))
    o += ['}  // namespace rec', '', '// Parameters of all functions, then fields of all records, back to back.',
          'inline constexpr ParamInfo kParamPool[] = {']
    offsets, at = {}, 0
    for e in functions + records:
        offsets[id(e)] = at
        o.append('    // %s' % e.name)
        for p in e.params:
            o.append('    {"%s", Dir::k%s, Type::k%s},' % (p.name, p.dir.capitalize(), p.type.capitalize()))
            at += 1
    o += ['};', '', '// Descriptors in FunctionId order.', 'inline constexpr FunctionInfo kFunctions[] = {']
    for f in functions:
        o.append('    {"%s", FunctionId::%s, Kind::k%s, %s, %d, %d, %s, %s, %d, %d},' % (
            f.name, f.name, f.kind.capitalize(), flags_expr(f), f.bind, f.event,
            cxx_string(f.value('record')), cxx_string(f.method_name()), offsets[id(f)], len(f.params)))
    o += ['};', '', '// Event records in table order; kind 0 for records no event kind carries.',
          'inline constexpr RecordInfo kRecords[] = {']
    for r in records:
        delegate = r.value('delegate') or r.name + 'Handler'
        o.append('    {"%s", "%s", %d, %d, %d},' % (r.name, delegate, int(r.value('kind') or 0),
                                                  offsets[id(r)], len(r.params)))
    o += ['};', '',
          'constexpr const FunctionInfo& Info(FunctionId id) { return kFunctions[static_cast<size_t>(id)]; }',
          'constexpr std::span<const ParamInfo> ParamsOf(const FunctionInfo& f) {',
          '    return {kParamPool + f.firstParam, f.paramCount};',
          '}',
          'constexpr std::span<const ParamInfo> FieldsOf(const RecordInfo& r) {',
          '    return {kParamPool + r.firstField, r.fieldCount};',
          '}', '',
          '// The function of that name, or nullptr.',
          'constexpr const FunctionInfo* FindFunction(std::string_view name) {',
          '    for (const FunctionInfo& f : kFunctions) {',
          '        if (name == f.name) return &f;',
          '    }',
          '    return nullptr;',
          '}', '',
          '// The record that events of `kind` carry, or nullptr for a kind without one.',
          'constexpr const RecordInfo* RecordOfKind(int kind) {',
          '    for (const RecordInfo& r : kRecords) {',
          '        if (r.kind != 0 && r.kind == kind) return &r;',
          '    }',
          '    return nullptr;',
          '}', '',
          '}  // namespace quendril::api', '',
          '// X(Name, Kind, Ret, Session, CParams, CArgs) for every function, in table order.',
          '//   Kind     Server, Session or Local (quendril::api::Kind::k##Kind)',
          '//   Ret      int32_t, or BSTR for the text functions',
          '//   Session  the MT twin\'s first parameter: int32_t, int32_t* (logons, logoff), or void',
          '//            for local functions, which have no MT twin',
          '//   CParams  (int32_t ID, int32_t* pNumber, ...)  the C parameters of the plain function',
          '//   CArgs    (ID, pNumber, ...)                    their names',
          '// Parameter types: quendril::api::sig::Name; flags, binding position, event kind:',
          '// quendril::api::Info(FunctionId::Name). Session parameter first: QUENDRIL_PREPEND.',
          '#define QUENDRIL_FUNCTIONS(X) \\']
    for f in functions:
        session = 'void' if not f.has_mt else ('int32_t*' if f.handle_pointer else 'int32_t')
        o.append('    X(%s, %s, %s, %s, (%s), (%s)) \\' % (
            f.name, f.kind.capitalize(), 'BSTR' if f.returns_text else 'int32_t', session,
            ', '.join(c_params(f, False)), ', '.join(p.name for p in f.params)))
    o += ['    /* end of QUENDRIL_FUNCTIONS */', '',
          '// The same rows for the functions that have an MT twin (kinds Server and Session).',
          '#define QUENDRIL_MT_FUNCTIONS(X) \\']
    for f in functions:
        if f.has_mt:
            o.append('    X(%s, %s, %s, %s, (%s), (%s)) \\' % (
                f.name, f.kind.capitalize(), 'BSTR' if f.returns_text else 'int32_t',
                'int32_t*' if f.handle_pointer else 'int32_t',
                ', '.join(c_params(f, False)), ', '.join(p.name for p in f.params)))
    o += ['    /* end of QUENDRIL_MT_FUNCTIONS */', '',
          '// X(Name, Kind, Fields) for every event record; Kind 0 when no event kind carries it.',
          '// Field types: quendril::api::rec::Name.',
          '#define QUENDRIL_RECORDS(X) \\']
    for r in records:
        o.append('    X(%s, %d, (%s)) \\' % (r.name, int(r.value('kind') or 0), ', '.join(p.name for p in r.params)))
    o += ['    /* end of QUENDRIL_RECORDS */', '']
    return '\n'.join(o)


def gen_binding_header(functions):
    bound = sorted((f for f in functions if f.bind), key=lambda f: f.bind)
    o = [BANNER,
         '// The tool\'s binding order: the symbols it looks up in the library, in resolution order.',
         '#pragma once', '', '#include <array>', '#include <cstddef>', '',
         '#include "quendril/api/api_table.h"', '', 'namespace quendril::api {', '',
         'inline constexpr size_t kBindingCount = %d;' % len(bound), '',
         '// The exported names: <Name>MT, or the plain name for DllVersion and ResultString.',
         'inline constexpr std::array<const char*, kBindingCount> kBindingNames = {']
    o += ['    "%s",  // %d' % (f.name + ('MT' if f.has_mt else ''), f.bind) for f in bound]
    o += ['};', '', '// The function of each binding position.',
          'inline constexpr std::array<FunctionId, kBindingCount> kBindingFunctions = {']
    o += ['    FunctionId::%s,' % f.name for f in bound]
    o += ['};', '', '}  // namespace quendril::api', '']
    return '\n'.join(o)


def write(path, text):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def main(argv):
    if len(argv) == 3 and argv[1] == '--check':
        table, outdir = argv[2], None
    elif len(argv) == 3:
        table, outdir = argv[1], argv[2]
    else:
        sys.stderr.write(__doc__)
        return 2
    try:
        functions, records = parse_table(table)
    except TableError as e:
        sys.stderr.write('%s:%d: %s\n' % (table, e.line, e.message))
        return 1
    except OSError as e:
        sys.stderr.write('%s: %s\n' % (table, e.strerror))
        return 1
    if outdir is None:
        return 0
    os.makedirs(outdir, exist_ok=True)
    write(os.path.join(outdir, 'quendril_api.h'), gen_c_header(functions))
    write(os.path.join(outdir, 'api_table.h'), gen_table_header(functions, records))
    write(os.path.join(outdir, 'binding_order.h'), gen_binding_header(functions))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
