// The configuration store of wyrlan: every configured object of a site (ports, ZigBee devices,
// grades and their prices, tanks and strapping tables, pumps, hoses, sensors, products,
// attendants, card clients, card reads, log events, sale items, price signs, network settings,
// the controller's clock and the server's own settings) in one SQLite file.
//
// The store answers the configuration functions of the API table directly: Call() takes the
// in-arguments of a function in the table's order and gives back its out-values in the table's
// order. Every version of a family reads and writes one record: an older getter returns the
// fields it knows (matched by name), an older setter leaves the newer fields as they were, and a
// field never written holds the default that an older version implies.
//
// Durability: a write that was refused or failed changes nothing. A write that returned 0 is in
// the redo journal (redo_journal.h) when Call() returns, and so survives a crash of the server
// process, SIGKILL included; the database file takes the writes in batches (Flush, and every
// few thousand writes), and the next Open replays what the file lacks.
//
// Thread-safety: none. One Store is used from one thread (the server's io thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "quendril/api/api_table.h"
#include "quendril/include/quendril.h"
#include "wyrlan/store/value.h"

namespace wyrlan::store {

using quendril::api::FunctionId;

// Result code for a write that names an object that does not exist (a hose's pump, a tank's
// grade, a card client's parent of the kind its card type implies).
inline constexpr int32_t kResultBadReference = QUENDRIL_BAD_REFERENCE;

// Table IDs of DBTriggerEvent (TableID); RowID is the object's ID unless noted.
enum TableId : int32_t {
    kTablePorts = 1,
    kTableZigBee = 2,
    kTableGrades = 3,       // also a grade's prices (RowID the grade)
    kTableTanks = 4,        // also a tank's strapping table (RowID the tank)
    kTablePumps = 5,
    kTableHoses = 6,        // also SetHosePrices
    kTableSensors = 7,
    kTableProducts = 8,
    kTableAttendants = 9,
    kTableCardClients = 10,
    kTableCardReads = 11,
    kTableLogEvents = 12,
    kTableSaleItems = 13,
    kTablePriceSigns = 14,  // RowID the element
    kTableNetwork = 15,     // RowID 0
    kTableClock = 16,       // RowID 0
    kTableSettings = 17,    // RowID 0
};

// Card types whose ParentID names an object, and the kind it names.
//   4, 6: another card client (account, fleet)   5: an attendant   7, 8: a product
// Any other card type has no parent; its ParentID is kept as given.

// Device type of a port that is a ZigBee coordinator (GetZB2GConfig reports its network).
inline constexpr int16_t kPortZigBeeCoordinator = 3;

// Who makes a call: the client ID of the session, for the functions that record it
// (SaleItemLock: LockedBy; SaleItemClear: ClearedBy).
struct CallContext {
    int32_t clientId = 0;
};

struct StoreOptions {
    // The host's local time as an OLE Automation date; the default reads the platform clock.
    // The controller's clock is this plus the offset SetDateTime stored.
    std::function<double()> hostNow;
};

class Store {
public:
    // Opens (creating when missing) the database at `path`. nullptr on failure, with a one-line
    // reason in `error`: the file cannot be opened, is not a database, or has a newer schema.
    static std::unique_ptr<Store> Open(const std::string& path, std::string* error,
                                       StoreOptions options = {});
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // True for the functions Call() answers.
    bool Handles(FunctionId id) const;

    // Runs function `id` with its in-arguments `in` (table order, locals excluded). Returns 0
    // and the out-values in table order in `out`, or a result code; on failure `out` still holds
    // one value of the right type per out-parameter (zeros, null text). QUENDRIL_NOT_SUPPORTED
    // for a function the store does not answer, QUENDRIL_BAD_ARGUMENT for a wrong number of
    // arguments. Numbers of another width are converted to the parameter's type.
    int32_t Call(FunctionId id, std::span<const Value> in, std::vector<Value>& out,
                 const CallContext& context = {});

    // Commits the writes since the last batch to the database file and empties the journal.
    // The server calls it from its tick; a write is durable without it. False when the commit
    // failed (the writes stay in the journal and are replayed at the next open).
    bool Flush();

    // Called after every write that returned 0 with (TableId, row ID), for DBTriggerEvent.
    using ChangeCallback = std::function<void(int32_t tableId, int32_t rowId)>;
    void SetChangeCallback(ChangeCallback callback);

    // True when the store holds no ports, grades, tanks, pumps or card clients (a new file).
    bool IsEmpty();

    // The number of objects of a table (TableId), for diagnostics and tests; -1 for an ID
    // that is not an object table.
    int64_t CountOf(int32_t tableId);

    class Impl;

private:
    explicit Store(std::unique_ptr<Impl> impl);
    bool Replay(std::string* error);
    std::unique_ptr<Impl> impl_;
};

// Convenience for callers that know the function: Call() with the arguments given as a list.
// Returns the result code; `out` as for Call().
int32_t CallWith(Store& store, FunctionId id, std::initializer_list<Value> in,
                 std::vector<Value>& out);

}  // namespace wyrlan::store
