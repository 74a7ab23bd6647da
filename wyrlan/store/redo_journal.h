// The store's redo journal: one record per configuration write that was answered 0, put into
// the journal before the answer leaves the server. The SQLite file takes the same writes in
// batches (one transaction every few thousand writes or at the server's tick), so a write costs
// one small copy instead of a commit; the journal is emptied after each batch commit and
// replayed at the next open for whatever the file does not hold yet.
//
// The journal file is mapped shared into memory and a record is copied into the mapping: the
// pages belong to the kernel's page cache, so a record is as safe from a crash of the server
// (SIGKILL included) as a write() would make it, without a system call per write. Like the
// database's WAL with synchronous=NORMAL, it is not synced: an OS crash may lose the last writes.
//
// Layout: records of [u32 payload length][u32 FNV-1a of the payload][payload], little-endian;
// payload = u64 sequence, u16 name length, the function's name, i32 client ID, f64 host time,
// u16 value count, then each value as u8 type and i64 | f64 | (u8 null, u32 UTF-16 units, the
// units). Reading stops at the first record that is short, zero or does not check; records
// left from before an emptying carry sequences the database already holds.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "wyrlan/store/value.h"

namespace wyrlan::store {

struct RedoRecord {
    uint64_t sequence = 0;
    std::string function;  // the API function's name
    int32_t clientId = 0;
    double hostNow = 0;    // the host clock the write saw, so that a replay stamps the same times
    std::vector<Value> in;
};

class RedoJournal {
public:
    RedoJournal() = default;
    ~RedoJournal();
    RedoJournal(const RedoJournal&) = delete;
    RedoJournal& operator=(const RedoJournal&) = delete;

    // The size of the mapped file; a batch is committed before it fills up.
    static constexpr size_t kCapacity = size_t{32} << 20;

    // Opens (creating) the journal at `path` and maps it; false with a reason in `error`.
    bool Open(const std::string& path, std::string* error);

    // The records in the file, in order, up to the first damaged one.
    std::vector<RedoRecord> ReadAll() const;

    // Appends one record; false when it does not fit in what is left of the file.
    bool Append(uint64_t sequence, std::string_view function, int32_t clientId, double hostNow,
                std::span<const Value> in);

    // The bytes in use, and what a record of these values needs.
    size_t Used() const { return used_; }
    static size_t RecordSize(std::string_view function, std::span<const Value> in);

    // Empties the journal (after the database took every record).
    bool Truncate();

private:
    uint8_t* map_ = nullptr;
    size_t used_ = 0;
    mutable size_t found_ = 0;  // the end of the records ReadAll found
};

}  // namespace wyrlan::store
