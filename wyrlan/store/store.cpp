// The configuration store. One SQLite table per family, whose columns are the fields of the
// newest getter of the family (its out-parameters after the ID, named without the "p"); every
// getter, setter and Add of the family is planned once at open time by matching its parameter
// names against those columns, so one generic handler serves every version.

#include "wyrlan/store/store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/clock.h"
#include "platform/oletime.h"
#include "quendril/include/quendril.h"
#include "wyrlan/store/redo_journal.h"

namespace wyrlan::store {

namespace api = quendril::api;
using api::Dir;
using api::FunctionInfo;
using api::ParamInfo;

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kPriceLevels = 8;
constexpr int kPriceSignElements = 64;
constexpr int kStrapElements = 1000;
// The slot fields of tanks, pumps and sensors (SlotZigBeeID, MuxSlotZigBeeID) name a ZigBee
// device only from 5 up: smaller values are not ZigBee IDs (the plain pump version reads as 1).
// A ZigBee device with an ID below 5 is therefore never referred to by a slot.
constexpr int64_t kFirstZigBeeSlotId = 5;

// ---- family descriptions ---------------------------------------------------------------------

struct FieldDefault {
    const char* name;
    double value;
};

// A field of this family that names an object of another (or the same) family.
struct RefDef {
    const char* column;
    int32_t target;          // TableId
    const char* cardTypes;   // nullptr: always; else the CardType values (",4,6,") it applies to
    bool checkOnSet;         // a write naming a missing object is refused
    bool required;           // ... also when the value is 0 or below
};

struct FamilyDef {
    int32_t tableId;
    const char* table;
    const char* newestGetter;                        // its outs after the ID are the columns
    std::vector<std::pair<const char*, Type>> extras;  // further columns no getter shows whole
    std::vector<FieldDefault> defaults;              // what an older version implies
    std::vector<RefDef> refs;
    const char* numberScope;                         // Number is unique within this column
    const char* count;
    const char* ordinal;
    const char* byNumber;
    const char* byName;
    const char* add;
    const char* del;
    std::vector<const char*> getters;
    std::vector<const char*> setters;
    bool stampsDates = false;                        // AddedDT on creation, UpdatedDT on writes
};

const std::vector<FamilyDef>& FamilyDefs() {
    static const std::vector<FamilyDef> defs = {
        {kTablePorts, "port", "GetPortProperties", {{"PanID", Type::kI64}}, {{"PanID", -1}}, {},
         nullptr, "GetPortsCount", "GetPortByOrdinal", "GetPortByNumber", "GetPortByName",
         "AddPort", "RemovePort", {"GetPortProperties"}, {"SetPortProperties"}},
        {kTableZigBee, "zigbee", "GetZigBeeProperties", {}, {},
         {{"PortID", kTablePorts, nullptr, true, false}}, nullptr, "GetZigBeeCount",
         "GetZigBeeByOrdinal", "GetZigBeeByNumber", "GetZigBeeByName", "AddZigBee",
         "DeleteZigBee", {"GetZigBeeProperties"}, {"SetZigBeeProperties"}},
        {kTableGrades, "grade", "GetGradePropertiesEx", {}, {{"Type", 1}}, {}, nullptr,
         "GetGradesCount", "GetGradeByOrdinal", "GetGradeByNumber", "GetGradeByName", "AddGrade",
         "DeleteGrade", {"GetGradeProperties", "GetGradePropertiesEx"},
         {"SetGradeProperties", "SetGradePropertiesEx"}},
        {kTableTanks, "tank", "GetTankPropertiesEx3", {},
         {{"SlotZigBeeID", -1}, {"ProbeType", -1}, {"ProbeSerialNo", 1}},
         {{"GradeID", kTableGrades, nullptr, true, false},
          {"SlotZigBeeID", kTableZigBee, nullptr, false, false}},
         nullptr, "GetTanksCount", "GetTankByOrdinal", "GetTankByNumber", "GetTankByName",
         "AddTank", "DeleteTank",
         {"GetTankProperties", "GetTankPropertiesEx", "GetTankPropertiesEx2",
          "GetTankPropertiesEx3"},
         {"SetTankProperties", "SetTankPropertiesEx", "SetTankPropertiesEx2",
          "SetTankPropertiesEx3"}},
        {kTablePumps, "pump", "GetPumpPropertiesEx", {},
         {{"SlotZigBeeID", 1}, {"MuxSlotZigBeeID", -1}, {"PriceControl", 1}, {"HasPreset", 1}},
         {{"PortID", kTablePorts, nullptr, true, false},
          {"AttendantID", kTableAttendants, nullptr, false, false},
          {"SlotZigBeeID", kTableZigBee, nullptr, false, false},
          {"MuxSlotZigBeeID", kTableZigBee, nullptr, false, false}},
         nullptr, "GetPumpsCount", "GetPumpByOrdinal", "GetPumpByNumber", "GetPumpByName",
         "AddPump", "DeletePump", {"GetPumpProperties", "GetPumpPropertiesEx"},
         {"SetPumpProperties", "SetPumpPropertiesEx"}},
        {kTableHoses, "hose", "GetHosePropertiesEx3",
         {{"DurationType", Type::kI16}, {"PriceType", Type::kI16}}, {{"Enabled", 1}},
         {{"PumpID", kTablePumps, nullptr, true, true},
          {"TankID", kTableTanks, nullptr, true, false}},
         "PumpID", "GetHosesCount", "GetHoseByOrdinal", nullptr, nullptr, "AddHose",
         "DeleteHose",
         {"GetHoseProperties", "GetHosePropertiesEx", "GetHosePropertiesEx2",
          "GetHosePropertiesEx3", "GetHosePrices", "GetHosePricesEx"},
         {"SetHoseProperties", "SetHosePropertiesEx", "SetHosePropertiesEx2",
          "SetHosePropertiesEx3", "SetHosePrices", "SetHosePricesEx"}},
        {kTableSensors, "sensor", "GetSensorPropertiesEx", {}, {{"SlotZigBeeID", -1}},
         {{"PortID", kTablePorts, nullptr, true, false},
          {"SlotZigBeeID", kTableZigBee, nullptr, false, false}},
         nullptr, "GetSensorsCount", "GetSensorByOrdinal", "GetSensorByNumber",
         "GetSensorByName", "AddSensor", "DeleteSensor",
         {"GetSensorProperties", "GetSensorPropertiesEx"},
         {"SetSensorProperties", "SetSensorPropertiesEx"}},
        {kTableProducts, "product", "GetProductPropertiesEx2", {}, {}, {}, nullptr, nullptr,
         nullptr, "GetProductByNumber", "GetProductByName", "AddProduct", "DeleteProduct",
         {"GetProductProperties", "GetProductPropertiesEx", "GetProductPropertiesEx2"},
         {"SetProductProperties", "SetProductPropertiesEx"}, true},
        {kTableAttendants, "attendant", "GetAttendantPropertiesEx2", {},
         {{"ShiftAEnd", 1439}, {"ShiftBEnd", 1439}, {"Type", 1}}, {}, nullptr,
         "GetAttendantsCount", "GetAttendantByOrdinal", "GetAttendantByNumber",
         "GetAttendantByName", "AddAttendant", "DeleteAttendant",
         {"GetAttendantProperties", "GetAttendantPropertiesEx", "GetAttendantPropertiesEx2"},
         {"SetAttendantProperties", "SetAttendantPropertiesEx", "SetAttendantPropertiesEx2"}},
        {kTableCardClients, "card_client", "GetCardClientPropertiesEx4", {},
         {{"GradeType", 1}, {"CardType", 1}, {"LimitType", 1}, {"EntryType", 1},
          {"ParentID", -1}},
         {{"ParentID", kTableCardClients, ",4,6,", true, false},
          {"ParentID", kTableAttendants, ",5,", true, false},
          {"ParentID", kTableProducts, ",7,8,", true, false}},
         nullptr, "GetCardClientsCount", "GetCardClientByOrdinal", "GetCardClientByNumber",
         "GetCardClientByName", "AddCardClient", "DeleteCardClient",
         {"GetCardClientProperties", "GetCardClientPropertiesEx", "GetCardClientPropertiesEx2",
          "GetCardClientPropertiesEx3", "GetCardClientPropertiesEx4"},
         {"SetCardClientProperties", "SetCardClientPropertiesEx", "SetCardClientPropertiesEx2",
          "SetCardClientPropertiesEx3", "SetCardClientPropertiesEx4"}},
        {kTableCardReads, "card_read", "GetCardReadProperties", {}, {},
         {{"PumpID", kTablePumps, nullptr, false, false}}, nullptr, "GetCardReadsCount",
         "GetCardReadByOrdinal", "GetCardReadByNumber", "GetCardReadByName", nullptr,
         "DeleteCardRead", {"GetCardReadProperties"}, {"SetCardReadProperties"}},
        {kTableLogEvents, "log_event", "GetLogEventProperties", {}, {}, {}, nullptr, nullptr,
         nullptr, nullptr, nullptr, nullptr, "DeleteLogEvent", {"GetLogEventProperties"},
         {"SetLogEventProperties"}},
        {kTableSaleItems, "sale_item", "GetSaleItemProperties", {{"CardClientTag", Type::kI64}},
         {},
         {{"ProductID", kTableProducts, nullptr, false, false},
          {"PumpID", kTablePumps, nullptr, false, false},
          {"AttendantID", kTableAttendants, nullptr, false, false},
          {"CardClientID", kTableCardClients, nullptr, false, false}},
         nullptr, nullptr, nullptr, nullptr, nullptr, "AddSaleItem", "DeleteSaleItem",
         {"GetSaleItemProperties"}, {"SetSaleItemProperties"}},
    };
    return defs;
}

// Filters of the filtered counts and ordinals: parameter name -> condition on the family's
// table. A filter value of -1, an empty or null text, or a date of 0 or below means no filter.
struct FilterDef {
    const char* param;
    const char* condition;
};

const std::vector<FilterDef>& FiltersOf(int32_t tableId) {
    static const std::vector<FilterDef> products = {
        {"Number", "\"Number\"=?"},   {"Name", "\"Name\"=?"},       {"ShortName", "\"ShortName\"=?"},
        {"Tag", "\"Tag\"=?"},         {"Barcode", "\"Barcode\"=?"}, {"ProductGroup", "\"ProductGroup\"=?"},
    };
    static const std::vector<FilterDef> logEvents = {
        {"DeviceType", "\"DeviceType\"=?"}, {"DeviceID", "\"DeviceID\"=?"},
        {"EventLevel", "\"EventLevel\"=?"}, {"EventType", "\"EventType\"=?"},
        {"ClearedBy", "\"ClearedBy\"=?"},   {"AckedBy", "\"AckedBy\"=?"},
        {"StartDT", "\"GeneratedDT\">=?"},  {"EndDT", "\"GeneratedDT\"<=?"},
    };
    static const std::vector<FilterDef> saleItems = {
        {"ProductID", "\"ProductID\"=?"},
        {"ProductNumber", "\"ProductID\" IN (SELECT id FROM product WHERE \"Number\"=?)"},
        {"PumpID", "\"PumpID\"=?"},
        {"PumpNumber", "\"PumpID\" IN (SELECT id FROM pump WHERE \"Number\"=?)"},
        {"AttendantID", "\"AttendantID\"=?"},
        {"AttendantNumber", "\"AttendantID\" IN (SELECT id FROM attendant WHERE \"Number\"=?)"},
        {"AttendantTag", "\"AttendantID\" IN (SELECT id FROM attendant WHERE \"Tag\"=CAST(? AS TEXT))"},
        {"CardClientID", "\"CardClientID\"=?"},
        {"CardClientNumber", "\"CardClientID\" IN (SELECT id FROM card_client WHERE \"Number\"=?)"},
        {"CardClientTag", "\"CardClientTag\"=?"},
        {"LockedBy", "\"LockedBy\"=?"},
        {"ClearedBy", "\"ClearedBy\"=?"},
        {"LoggedDB", "\"LoggedDB\"=?"},
        {"LoggedVolumetric", "\"LoggedVolumetric\"=?"},
        {"StartDT", "\"AddedDT\">=?"},
        {"EndDT", "\"AddedDT\"<=?"},
    };
    static const std::vector<FilterDef> none;
    switch (tableId) {
        case kTableProducts: return products;
        case kTableLogEvents: return logEvents;
        case kTableSaleItems: return saleItems;
        default: return none;
    }
}

// "pNumber" -> "Number"; names without the out prefix stay as they are.
std::string_view FieldName(const char* param) {
    std::string_view n(param);
    if (n.size() > 1 && n[0] == 'p' && n[1] >= 'A' && n[1] <= 'Z') n.remove_prefix(1);
    return n;
}

bool IsIntType(Type t) {
    return t == Type::kI16 || t == Type::kU16 || t == Type::kI32 || t == Type::kI64;
}

const char* SqlType(Type t) {
    if (t == Type::kText) return "TEXT";
    if (t == Type::kF64 || t == Type::kDate) return "REAL";
    return "INTEGER";
}

std::string Quote(std::string_view name) { return "\"" + std::string(name) + "\""; }

// FNV-1a over the UTF-16 units of `s` and a salt: the simulated hardware derives its versions
// and keys from its serial number with this.
uint64_t Hash(const std::u16string& s, uint64_t salt) {
    uint64_t h = 1469598103934665603ull ^ salt;
    for (char16_t c : s) {
        h ^= static_cast<uint64_t>(c);
        h *= 1099511628211ull;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h;
}

std::u16string Widen(std::string_view s) {
    std::u16string out;
    for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

// True for a dotted quad "a.b.c.d" with each part 0..255.
bool IsDottedQuad(const std::u16string& s) {
    int parts = 0, digits = 0, value = 0;
    for (char16_t c : s) {
        if (c >= u'0' && c <= u'9') {
            value = value * 10 + (c - u'0');
            if (++digits > 3 || value > 255) return false;
        } else if (c == u'.') {
            if (digits == 0) return false;
            ++parts;
            digits = value = 0;
        } else {
            return false;
        }
    }
    return parts == 3 && digits > 0;
}

// Volume of a horizontal cylinder of `diameter` holding `capacity` when full, filled to
// `height`.
double CylinderVolume(double capacity, double diameter, double height) {
    if (diameter <= 0 || capacity <= 0) return 0;
    double h = std::clamp(height, 0.0, diameter);
    double r = diameter / 2;
    double segment = r * r * std::acos((r - h) / r) - (r - h) * std::sqrt(std::max(0.0, 2 * r * h - h * h));
    return capacity * segment / (M_PI * r * r);
}

double HostNowDefault() {
    SYSTEMTIME st{};
    platform::GetLocalTime(&st);
    DATE d = 0;
    platform::SystemTimeToVariantTime(&st, &d);
    return d;
}

// Resets a statement when the scope ends, so a cached statement is always ready for reuse.
struct Reset {
    sqlite3_stmt* s;
    ~Reset() {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

}  // namespace

// ---- runtime structures ------------------------------------------------------------------------

struct Column {
    std::string name;
    Type type;
    Value defaultValue;
};

struct Family {
    const FamilyDef* def = nullptr;
    std::vector<Column> cols;
    int numberCol = -1, nameCol = -1, scopeCol = -1, cardTypeCol = -1, tagCol = -1;
    int addedCol = -1, updatedCol = -1;
    sqlite3_stmt* select = nullptr;   // all columns by id
    sqlite3_stmt* exists = nullptr;
    sqlite3_stmt* insert = nullptr;   // id and all columns
    sqlite3_stmt* update = nullptr;   // all columns by id
    sqlite3_stmt* remove = nullptr;
    sqlite3_stmt* byNumber = nullptr;
    sqlite3_stmt* byName = nullptr;
    sqlite3_stmt* duplicate = nullptr;  // another row with this Number (in scope)
    sqlite3_stmt* maxId = nullptr;
    sqlite3_stmt* maxNumber = nullptr;
    std::vector<int32_t> ids;  // every ID in order, once loaded
    bool idsLoaded = false;

    int ColumnIndex(std::string_view name) const {
        for (size_t i = 0; i < cols.size(); ++i)
            if (cols[i].name == name) return static_cast<int>(i);
        return -1;
    }
};

enum class Op : uint8_t {
    kNone,
    kGet,
    kSet,
    kAdd,
    kDelete,
    kCount,
    kOrdinal,
    kByNumber,
    kByName,
    kFilterCount,
    kFilterOrdinal,
    kSpecial,
};

using SpecialFn = int32_t (Store::Impl::*)(std::span<const Value>, std::vector<Value>&,
                                           const CallContext&);

struct Plan {
    Op op = Op::kNone;
    Family* family = nullptr;
    const FunctionInfo* info = nullptr;
    std::vector<int> cols;          // kGet: per out; kSet: per in after the ID; kAdd: per in
    std::vector<Type> outTypes;
    std::vector<int> filterIndex;   // kFilter*: in-index of each filter (into FiltersOf)
    bool setsNumber = false;        // kSet: the setter carries Number (may create the object)
    SpecialFn special = nullptr;
};

// ---- Impl --------------------------------------------------------------------------------------

class Store::Impl {
public:
    sqlite3* db_ = nullptr;
    StoreOptions options_;
    std::unordered_map<std::string, sqlite3_stmt*> stmts_;
    std::vector<Family> families_;  // indexed by TableId
    std::vector<Plan> plans_;
    ChangeCallback callback_;
    double clockOffset_ = 0;

    // Writes reach the file in batches, each write first in the redo journal (redo_journal.h).
    RedoJournal journal_;
    uint64_t sequence_ = 0;          // of the last journalled write
    bool batchOpen_ = false;         // a transaction holding the writes since the last commit
    int batchWrites_ = 0;
    bool replaying_ = false;         // replaying the journal at open: no journal, no events
    // The call being run: what its journal record holds.
    double callHostNow_ = 0;
    const char* callName_ = "";
    std::span<const Value> callIn_;
    int32_t callClient_ = 0;

    // Effects of the open transaction, applied when it commits.
    struct Pending {
        Family* family;
        int32_t id;
        int change;  // +1 inserted, -1 deleted, 0 updated
    };
    std::vector<std::pair<int32_t, int32_t>> pendingEvents_;
    std::vector<Pending> pendingIds_;
    double pendingClockOffset_ = 0;
    bool pendingClock_ = false;
    uint64_t generation_ = 0;

    // The last filtered lookup: same function family and filter values give the same IDs.
    struct FilterCache {
        int32_t table = 0;
        std::vector<Value> key;
        uint64_t generation = ~0ull;
        std::vector<int32_t> ids;
    } filterCache_;

    ~Impl() {
        if (db_) CommitBatch();
        for (auto& [sql, s] : stmts_) sqlite3_finalize(s);
        if (db_) sqlite3_close(db_);
    }

    double Now() const { return callHostNow_ + clockOffset_; }

    // ---- SQL helpers ----

    bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    sqlite3_stmt* Stmt(const std::string& sql) {
        auto it = stmts_.find(sql);
        if (it != stmts_.end()) return it->second;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "store: cannot prepare %s: %s\n", sql.c_str(), sqlite3_errmsg(db_));
            return nullptr;
        }
        stmts_.emplace(sql, s);
        return s;
    }

    static void Bind(sqlite3_stmt* s, int index, const Value& v, Type asType) {
        if (asType == Type::kText) {
            if (v.IsText() && v.null) {
                sqlite3_bind_null(s, index);
            } else {
                std::u16string t = v.AsText();
                sqlite3_bind_text16(s, index, t.data(), static_cast<int>(t.size() * 2), SQLITE_TRANSIENT);
            }
        } else if (asType == Type::kF64 || asType == Type::kDate) {
            sqlite3_bind_double(s, index, v.AsDouble());
        } else {
            sqlite3_bind_int64(s, index, v.AsInt());
        }
    }

    static Value ColumnValue(sqlite3_stmt* s, int index, Type t) {
        if (t == Type::kText) {
            if (sqlite3_column_type(s, index) == SQLITE_NULL) return Value::NullText();
            const void* p = sqlite3_column_text16(s, index);
            int bytes = sqlite3_column_bytes16(s, index);
            return Value::Text(std::u16string_view(static_cast<const char16_t*>(p), static_cast<size_t>(bytes) / 2));
        }
        Value v = Value::Zero(t);
        if (t == Type::kF64 || t == Type::kDate)
            v.f = sqlite3_column_double(s, index);
        else
            v.i = sqlite3_column_int64(s, index);
        return v;
    }

    // Runs a statement that yields one integer (first column of the first row); `fallback`
    // when there is no row.
    static int64_t ScalarInt(sqlite3_stmt* s, int64_t fallback) {
        Reset r{s};
        if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL)
            return sqlite3_column_int64(s, 0);
        return fallback;
    }

    // ---- transactions ----

    bool Step(const char* sql) {
        sqlite3_stmt* s = Stmt(sql);
        if (!s) return false;
        int rc = sqlite3_step(s);
        sqlite3_reset(s);
        return rc == SQLITE_DONE;
    }

    // Each write runs in a savepoint of the batch transaction; the batch is committed every
    // kBatchWrites writes and whenever the server calls Flush (its tick).
    static constexpr int kBatchWrites = 2000;

    bool Begin() {
        pendingEvents_.clear();
        pendingIds_.clear();
        pendingClock_ = false;
        // A full journal is emptied first, by committing its batch: never in the middle of a
        // write, which would put the write in the file ahead of its record.
        if (!replaying_ && journal_.Used() + RedoJournal::RecordSize(callName_, callIn_) > RedoJournal::kCapacity &&
            !CommitBatch())
            return false;
        if (!batchOpen_) {
            if (!Step("BEGIN IMMEDIATE")) return false;
            batchOpen_ = true;
        }
        return Step("SAVEPOINT write");
    }

    // The write is done: journal it (it counts from here on), then let this connection's
    // caches and the sessions see it.
    bool Release() {
        if (!replaying_ && !journal_.Append(sequence_ + 1, callName_, callClient_, callHostNow_, callIn_)) {
            std::fprintf(stderr, "store: cannot append to the journal: %s\n", std::strerror(errno));
            return false;
        }
        if (!replaying_) ++sequence_;
        if (!Step("RELEASE write")) return false;  // does not fail inside an open transaction
        ++generation_;
        if (pendingClock_) clockOffset_ = pendingClockOffset_;
        for (const Pending& p : pendingIds_) {
            Family& f = *p.family;
            if (!f.idsLoaded || p.change == 0) continue;
            auto it = std::lower_bound(f.ids.begin(), f.ids.end(), p.id);
            if (p.change > 0 && (it == f.ids.end() || *it != p.id)) f.ids.insert(it, p.id);
            if (p.change < 0 && it != f.ids.end() && *it == p.id) f.ids.erase(it);
        }
        if (callback_ && !replaying_)
            for (auto [table, row] : pendingEvents_) callback_(table, row);
        // A replay commits once at its end: the journal must stay whole until then.
        if (++batchWrites_ >= kBatchWrites && !replaying_) CommitBatch();
        return true;
    }

    void Rollback() {
        Step("ROLLBACK TO write");
        Step("RELEASE write");
    }

    // Commits the batch with the sequence of its last write, then empties the journal. A
    // failed commit leaves the journal as it is; the file then lacks the batch, so the batch
    // is replayed from the journal right away.
    bool CommitBatch() {
        if (!batchOpen_) return true;
        sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO meta(key, value) VALUES('journal_sequence', ?1)");
        bool ok = s != nullptr;
        if (ok) {
            Reset r{s};
            sqlite3_bind_int64(s, 1, static_cast<int64_t>(sequence_));
            ok = sqlite3_step(s) == SQLITE_DONE;
        }
        ok = ok && Step("COMMIT");
        batchOpen_ = false;
        batchWrites_ = 0;
        if (ok) {
            if (!journal_.Truncate()) std::fprintf(stderr, "store: cannot empty the journal\n");
            return true;
        }
        std::fprintf(stderr, "store: batch commit failed: %s\n", sqlite3_errmsg(db_));
        if (!sqlite3_get_autocommit(db_)) Step("ROLLBACK");
        return false;
    }

    // Runs `body` as one write: kept when it returns 0, undone otherwise.
    template <class Body>
    int32_t Write(Body&& body) {
        if (!Begin()) {
            if (batchOpen_) Rollback();
            return QUENDRIL_INTERNAL_ERROR;
        }
        int32_t rc = body();
        if (rc != QUENDRIL_OK) {
            Rollback();
            return rc;
        }
        if (!Release()) {
            Rollback();
            return QUENDRIL_INTERNAL_ERROR;
        }
        return QUENDRIL_OK;
    }

    void Changed(int32_t table, int32_t row) { pendingEvents_.emplace_back(table, row); }

    // ---- schema ----

    bool CreateSchema(std::string* error) {
        const char* fixed =
            "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL);"
            "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value);"
            "CREATE TABLE IF NOT EXISTS grade_price(grade_id INTEGER NOT NULL, level INTEGER NOT NULL,"
            " price REAL NOT NULL, PRIMARY KEY(grade_id, level)) WITHOUT ROWID;"
            "CREATE TABLE IF NOT EXISTS strap_table(tank_id INTEGER PRIMARY KEY, \"StepSize\" REAL DEFAULT 0,"
            " \"Diameter\" REAL DEFAULT 0, \"Offset\" REAL DEFAULT 0, \"Capacity\" REAL DEFAULT 0,"
            " \"Alarms\" INTEGER DEFAULT 0, \"Desc\" TEXT DEFAULT '');"
            "CREATE TABLE IF NOT EXISTS strap_element(tank_id INTEGER NOT NULL, element INTEGER NOT NULL,"
            " \"Passes\" INTEGER DEFAULT 0, \"StartDelta\" REAL DEFAULT 0, \"CurDelta\" REAL DEFAULT 0,"
            " PRIMARY KEY(tank_id, element)) WITHOUT ROWID;"
            "CREATE TABLE IF NOT EXISTS price_sign(element INTEGER PRIMARY KEY, \"ElementType\" INTEGER,"
            " \"LinkID\" INTEGER, \"Decimals\" INTEGER, \"Price\" REAL, \"State\" INTEGER,"
            " \"OnTime\" INTEGER, \"OffTime\" INTEGER);"
            "CREATE TABLE IF NOT EXISTS network(id INTEGER PRIMARY KEY CHECK(id = 1), \"IPAddress\" TEXT,"
            " \"NetMask\" TEXT, \"Gateway\" TEXT, \"DNSServer\" TEXT, \"DHCP\" INTEGER, \"NetworkName\" TEXT);"
            "CREATE TABLE IF NOT EXISTS setting(file TEXT NOT NULL COLLATE NOCASE,"
            " section TEXT NOT NULL COLLATE NOCASE, key TEXT NOT NULL COLLATE NOCASE, value TEXT,"
            " PRIMARY KEY(file, section, key)) WITHOUT ROWID;";
        if (!Exec(fixed)) {
            *error = std::string("cannot create the schema: ") + sqlite3_errmsg(db_);
            return false;
        }
        sqlite3_stmt* v = Stmt("SELECT max(version) FROM schema_version");
        int64_t version = v ? ScalarInt(v, 0) : -1;
        if (version > kSchemaVersion) {
            *error = "the database has schema version " + std::to_string(version) +
                     ", newer than this server's " + std::to_string(kSchemaVersion);
            return false;
        }
        if (version < kSchemaVersion) {
            std::string sql = "INSERT INTO schema_version VALUES(" + std::to_string(kSchemaVersion) + ")";
            if (!Exec(sql.c_str())) {
                *error = "cannot record the schema version";
                return false;
            }
        }
        for (Family& f : families_) {
            if (!f.def) continue;
            std::string create = "CREATE TABLE IF NOT EXISTS " + std::string(f.def->table) + "(id INTEGER PRIMARY KEY";
            for (const Column& c : f.cols) create += ", " + ColumnSql(c);
            create += ")";
            if (!Exec(create.c_str())) {
                *error = std::string("cannot create table ") + f.def->table + ": " + sqlite3_errmsg(db_);
                return false;
            }
            // A file written by a server with fewer fields gets the new ones, holding defaults.
            std::vector<std::string> have;
            sqlite3_stmt* info = nullptr;
            std::string pragma = "PRAGMA table_info(" + std::string(f.def->table) + ")";
            if (sqlite3_prepare_v2(db_, pragma.c_str(), -1, &info, nullptr) == SQLITE_OK) {
                while (sqlite3_step(info) == SQLITE_ROW)
                    have.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
                sqlite3_finalize(info);
            }
            for (const Column& c : f.cols) {
                if (std::find(have.begin(), have.end(), c.name) != have.end()) continue;
                std::string alter = "ALTER TABLE " + std::string(f.def->table) + " ADD COLUMN " + ColumnSql(c);
                if (!Exec(alter.c_str())) {
                    *error = "cannot add column " + c.name;
                    return false;
                }
            }
            auto index = [&](const std::string& cols, const std::string& suffix) {
                std::string sql = "CREATE INDEX IF NOT EXISTS " + std::string(f.def->table) + "_" + suffix +
                                  " ON " + f.def->table + "(" + cols + ")";
                return Exec(sql.c_str());
            };
            bool ok = true;
            if (f.numberCol >= 0)
                ok &= index(f.scopeCol >= 0 ? Quote(f.cols[f.scopeCol].name) + ",\"Number\"" : "\"Number\"", "number");
            if (f.nameCol >= 0) ok &= index("\"Name\"", "name");
            if (f.tagCol >= 0 && f.def->tableId != kTableSaleItems) ok &= index("\"Tag\"", "tag");
            for (const RefDef& r : f.def->refs) ok &= index(Quote(r.column), std::string("ref_") + r.column);
            if (!ok) {
                *error = std::string("cannot index ") + f.def->table;
                return false;
            }
        }
        return true;
    }

    static std::string ColumnSql(const Column& c) {
        std::string sql = Quote(c.name) + " " + SqlType(c.type) + " DEFAULT ";
        if (c.type == Type::kText) return sql + "''";
        char buf[64];
        if (IsIntType(c.type))
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(c.defaultValue.i));
        else
            std::snprintf(buf, sizeof buf, "%.17g", c.defaultValue.f);
        return sql + buf;
    }

    // ---- families and plans ----

    bool BuildFamilies(std::string* error) {
        families_.resize(kTableSettings + 1);
        for (const FamilyDef& d : FamilyDefs()) {
            Family& f = families_[d.tableId];
            f.def = &d;
            const FunctionInfo* g = api::FindFunction(d.newestGetter);
            if (!g) {
                *error = std::string("no function ") + d.newestGetter;
                return false;
            }
            for (const ParamInfo& p : api::ParamsOf(*g)) {
                if (p.dir != Dir::kOut) continue;
                f.cols.push_back({std::string(FieldName(p.name)), p.type, Value::Zero(p.type)});
            }
            for (auto& [name, type] : d.extras) f.cols.push_back({name, type, Value::Zero(type)});
            for (Column& c : f.cols) {
                if (c.type == Type::kText) c.defaultValue = Value::Text(u"");
            }
            for (const FieldDefault& fd : d.defaults) {
                int i = f.ColumnIndex(fd.name);
                if (i < 0) {
                    *error = std::string("no field ") + fd.name + " in " + d.table;
                    return false;
                }
                Column& c = f.cols[i];
                c.defaultValue = IsIntType(c.type) ? Value::I64(static_cast<int64_t>(fd.value)).As(c.type)
                                                   : Value::F64(fd.value).As(c.type);
            }
            f.numberCol = f.ColumnIndex("Number");
            f.nameCol = f.ColumnIndex("Name");
            f.scopeCol = d.numberScope ? f.ColumnIndex(d.numberScope) : -1;
            f.cardTypeCol = f.ColumnIndex("CardType");
            f.tagCol = f.ColumnIndex("Tag");
            if (d.stampsDates) {
                f.addedCol = f.ColumnIndex("AddedDT");
                f.updatedCol = f.ColumnIndex("UpdatedDT");
            }
        }
        return true;
    }

    bool PrepareFamilies() {
        for (Family& f : families_) {
            if (!f.def) continue;
            std::string t = f.def->table, cols, marks, sets;
            for (size_t i = 0; i < f.cols.size(); ++i) {
                if (i) {
                    cols += ',';
                    sets += ',';
                }
                cols += Quote(f.cols[i].name);
                marks += ",?";
                sets += Quote(f.cols[i].name);
                sets += "=?";
            }
            f.select = Stmt("SELECT " + cols + " FROM " + t + " WHERE id=?");
            f.exists = Stmt("SELECT 1 FROM " + t + " WHERE id=?");
            f.insert = Stmt("INSERT INTO " + t + "(id," + cols + ") VALUES(?" + marks + ")");
            f.update = Stmt("UPDATE " + t + " SET " + sets + " WHERE id=?");
            f.remove = Stmt("DELETE FROM " + t + " WHERE id=?");
            f.maxId = Stmt("SELECT max(id) FROM " + t);
            if (!f.select || !f.exists || !f.insert || !f.update || !f.remove || !f.maxId) return false;
            if (f.numberCol >= 0) {
                std::string scope = f.scopeCol >= 0 ? " AND " + Quote(f.cols[f.scopeCol].name) + "=?" : "";
                f.byNumber = Stmt("SELECT id FROM " + t + " WHERE \"Number\"=?" + scope + " ORDER BY id LIMIT 1");
                f.duplicate = Stmt("SELECT id FROM " + t + " WHERE \"Number\"=? AND id<>?" + scope + " LIMIT 1");
                f.maxNumber = Stmt("SELECT max(\"Number\") FROM " + t + (f.scopeCol >= 0 ? " WHERE " + Quote(f.cols[f.scopeCol].name) + "=?" : ""));
                if (!f.byNumber || !f.duplicate || !f.maxNumber) return false;
            }
            if (f.nameCol >= 0) {
                f.byName = Stmt("SELECT id FROM " + t + " WHERE \"Name\"=? ORDER BY id LIMIT 1");
                if (!f.byName) return false;
            }
        }
        return true;
    }

    Plan* PlanFor(const char* name, Op op, Family* f) {
        if (!name) return nullptr;
        const FunctionInfo* info = api::FindFunction(name);
        if (!info) return nullptr;
        Plan& p = plans_[static_cast<size_t>(info->id)];
        p = Plan{};
        p.op = op;
        p.family = f;
        p.info = info;
        for (const ParamInfo& pi : api::ParamsOf(*info))
            if (pi.dir == Dir::kOut) p.outTypes.push_back(pi.type);
        return &p;
    }

    // Column of parameter `param` at `position` (its place among the family's getter fields):
    // by name, else by position when the types agree.
    static int MapColumn(const Family& f, const ParamInfo& param, int position) {
        int c = f.ColumnIndex(FieldName(param.name));
        if (c >= 0) return c;
        if (position >= 0 && position < static_cast<int>(f.cols.size()) && f.cols[position].type == param.type)
            return position;
        return -1;
    }

    void BuildPlans() {
        plans_.assign(api::kFunctionCount, Plan{});
        for (Family& f : families_) {
            if (!f.def) continue;
            const FamilyDef& d = *f.def;
            PlanFor(d.count, Op::kCount, &f);
            PlanFor(d.ordinal, Op::kOrdinal, &f);
            PlanFor(d.byNumber, Op::kByNumber, &f);
            PlanFor(d.byName, Op::kByName, &f);
            PlanFor(d.del, Op::kDelete, &f);
            for (const char* g : d.getters) {
                Plan* p = PlanFor(g, Op::kGet, &f);
                if (!p) continue;
                int pos = 0;
                for (const ParamInfo& pi : api::ParamsOf(*p->info))
                    if (pi.dir == Dir::kOut) p->cols.push_back(MapColumn(f, pi, pos++));
            }
            for (const char* s : d.setters) {
                Plan* p = PlanFor(s, Op::kSet, &f);
                if (!p) continue;
                auto params = api::ParamsOf(*p->info);
                for (size_t i = 1; i < params.size(); ++i) {
                    int c = MapColumn(f, params[i], static_cast<int>(i) - 1);
                    p->cols.push_back(c);
                    if (c >= 0 && c == f.numberCol) p->setsNumber = true;
                }
                if (f.numberCol < 0) p->setsNumber = true;  // unnumbered: any setter may create
            }
            if (Plan* p = PlanFor(d.add, Op::kAdd, &f)) {
                for (const ParamInfo& pi : api::ParamsOf(*p->info))
                    if (pi.dir == Dir::kIn) p->cols.push_back(MapColumn(f, pi, -1));
            }
        }
        auto filtered = [&](const char* name, Op op, int32_t table) {
            Plan* p = PlanFor(name, op, &families_[table]);
            if (!p) return;
            const auto& filters = FiltersOf(table);
            for (const ParamInfo& pi : api::ParamsOf(*p->info)) {
                if (pi.dir != Dir::kIn || std::string_view(pi.name) == "Index") continue;
                int found = -1;
                for (size_t k = 0; k < filters.size(); ++k)
                    if (std::string_view(filters[k].param) == pi.name) found = static_cast<int>(k);
                p->filterIndex.push_back(found);
            }
        };
        filtered("GetProductsCount", Op::kFilterCount, kTableProducts);
        filtered("GetProductByOrdinal", Op::kFilterOrdinal, kTableProducts);
        filtered("GetLogEventCount", Op::kFilterCount, kTableLogEvents);
        filtered("GetLogEventByOrdinal", Op::kFilterOrdinal, kTableLogEvents);
        filtered("GetLogEventCountEx", Op::kFilterCount, kTableLogEvents);
        filtered("GetLogEventByOrdinalEx", Op::kFilterOrdinal, kTableLogEvents);
        filtered("GetSaleItemsCount", Op::kFilterCount, kTableSaleItems);
        filtered("GetSaleItemByOrdinal", Op::kFilterOrdinal, kTableSaleItems);
        filtered("GetSaleItemsCountEx", Op::kFilterCount, kTableSaleItems);
        filtered("GetSaleItemByOrdinalEx", Op::kFilterOrdinal, kTableSaleItems);

        auto special = [&](const char* name, SpecialFn fn) {
            if (Plan* p = PlanFor(name, Op::kSpecial, nullptr)) p->special = fn;
        };
        special("GetGradePrice", &Impl::GetGradePrice);
        special("SetGradePrice", &Impl::SetGradePrice);
        special("GetPumpHosesCount", &Impl::GetPumpHosesCount);
        special("GetPumpHoseByNumber", &Impl::GetPumpHoseByNumber);
        special("GetHoseSummary", &Impl::GetHoseSummary);
        special("GetHoseSummaryEx", &Impl::GetHoseSummary);
        special("GetHoseSummaryEx2", &Impl::GetHoseSummary);
        special("GetTankSummary", &Impl::GetTankSummary);
        special("GetTankSummaryEx", &Impl::GetTankSummary);
        special("GetTankSummaryEx2", &Impl::GetTankSummary);
        special("GetTankSummaryEx3", &Impl::GetTankSummary);
        special("GetSaleItemSummary", &Impl::GetSaleItemSummary);
        special("GetStrappingTableData", &Impl::GetStrappingTableData);
        special("SetStrappingTableData", &Impl::SetStrappingTableData);
        special("GetStrappingTableElement", &Impl::GetStrappingTableElement);
        special("SetStrappingTableElement", &Impl::SetStrappingTableElement);
        special("GetCardType", &Impl::GetCardType);
        special("FindCard", &Impl::FindCard);
        special("GetPriceSignElement", &Impl::GetPriceSignElement);
        special("SetPriceSignElement", &Impl::SetPriceSignElement);
        special("GetTCPIPConfig", &Impl::GetTCPIPConfig);
        special("SetTCPIPConfig", &Impl::SetTCPIPConfig);
        special("GetDateTime", &Impl::GetDateTime);
        special("SetDateTime", &Impl::SetDateTime);
        special("GetIniValue", &Impl::GetIniValue);
        special("SetIniValue", &Impl::SetIniValue);
        special("GetIniValueEx", &Impl::GetIniValue);
        special("SetIniValueEx", &Impl::SetIniValue);
        special("GetSerialNo", &Impl::GetSerialNo);
        special("GetDeviceDetails", &Impl::GetDeviceDetails);
        special("GetZB2GConfig", &Impl::GetZB2GConfig);
        special("SetZBCoordPan", &Impl::SetZBCoordPan);
        special("ClearLogEvent", &Impl::ClearLogEvent);
        special("AckLogEvent", &Impl::AckLogEvent);
        special("SaleItemLock", &Impl::SaleItemLock);
        special("SaleItemUnlock", &Impl::SaleItemUnlock);
        special("SaleItemClear", &Impl::SaleItemClear);
        special("SaleItemLockAndClear", &Impl::SaleItemLockAndClear);
        special("SaleItemAckDBLog", &Impl::SaleItemAckDBLog);
        special("SaleItemAckVolLog", &Impl::SaleItemAckVolLog);
    }

    // ---- rows ----

    Family& F(int32_t table) { return families_[table]; }

    bool Exists(Family& f, int64_t id) {
        Reset r{f.exists};
        sqlite3_bind_int64(f.exists, 1, id);
        return sqlite3_step(f.exists) == SQLITE_ROW;
    }

    bool ReadRow(Family& f, int64_t id, std::vector<Value>& row) {
        Reset r{f.select};
        sqlite3_bind_int64(f.select, 1, id);
        if (sqlite3_step(f.select) != SQLITE_ROW) return false;
        row.resize(f.cols.size());
        for (size_t i = 0; i < f.cols.size(); ++i) row[i] = ColumnValue(f.select, static_cast<int>(i), f.cols[i].type);
        return true;
    }

    static void DefaultRow(const Family& f, std::vector<Value>& row) {
        row.resize(f.cols.size());
        for (size_t i = 0; i < f.cols.size(); ++i) row[i] = f.cols[i].defaultValue;
    }

    bool WriteRow(Family& f, int64_t id, const std::vector<Value>& row, bool insert) {
        sqlite3_stmt* s = insert ? f.insert : f.update;
        Reset r{s};
        int n = static_cast<int>(f.cols.size());
        if (insert) {
            sqlite3_bind_int64(s, 1, id);
            for (int i = 0; i < n; ++i) Bind(s, i + 2, row[i], f.cols[i].type);
        } else {
            for (int i = 0; i < n; ++i) Bind(s, i + 1, row[i], f.cols[i].type);
            sqlite3_bind_int64(s, n + 1, id);
        }
        if (sqlite3_step(s) != SQLITE_DONE) return false;
        pendingIds_.push_back({&f, static_cast<int32_t>(id), insert ? 1 : 0});
        Changed(f.def->tableId, static_cast<int32_t>(id));
        return true;
    }

    static bool CardTypeMatches(const char* list, int64_t cardType) {
        if (!list) return true;
        std::string needle = "," + std::to_string(cardType) + ",";
        return std::strstr(list, needle.c_str()) != nullptr;
    }

    // Checks a row about to be written as object `id` of `f`.
    // `before` is the stored row when the object exists: an unchanged Number (and scope) needs
    // no duplicate check.
    int32_t Validate(Family& f, int64_t id, const std::vector<Value>& row, const std::vector<Value>* before = nullptr) {
        if (f.numberCol >= 0) {
            int64_t number = row[f.numberCol].AsInt();
            if (number < 1 || number > INT32_MAX) return QUENDRIL_BAD_ARGUMENT;
            bool same = before && (*before)[f.numberCol].AsInt() == number &&
                        (f.scopeCol < 0 || (*before)[f.scopeCol].AsInt() == row[f.scopeCol].AsInt());
            Reset r{f.duplicate};
            sqlite3_bind_int64(f.duplicate, 1, number);
            sqlite3_bind_int64(f.duplicate, 2, id);
            if (f.scopeCol >= 0) sqlite3_bind_int64(f.duplicate, 3, row[f.scopeCol].AsInt());
            if (!same && sqlite3_step(f.duplicate) == SQLITE_ROW) return QUENDRIL_DUPLICATE;
        }
        int64_t cardType = f.cardTypeCol >= 0 ? row[f.cardTypeCol].AsInt() : 0;
        for (const RefDef& ref : f.def->refs) {
            if (!ref.checkOnSet || !CardTypeMatches(ref.cardTypes, cardType)) continue;
            int64_t target = row[f.ColumnIndex(ref.column)].AsInt();
            if (target <= 0) {
                if (ref.required) return kResultBadReference;
                continue;
            }
            if (ref.target == f.def->tableId) {
                // A chain of parents must end: no object may be its own ancestor.
                int64_t at = target;
                std::vector<Value> parent;
                for (int steps = 0; at > 0 && steps < 100000; ++steps) {
                    if (at == id) return QUENDRIL_BAD_ARGUMENT;
                    if (!ReadRow(f, at, parent)) break;
                    if (!CardTypeMatches(ref.cardTypes, parent[f.cardTypeCol].AsInt())) break;
                    at = parent[f.ColumnIndex(ref.column)].AsInt();
                }
            }
            if (!Exists(F(ref.target), target)) return kResultBadReference;
        }
        return QUENDRIL_OK;
    }

    void Stamp(Family& f, std::vector<Value>& row, bool created) {
        double now = Now();
        if (created && f.addedCol >= 0) row[f.addedCol] = Value::Date(now);
        if (f.updatedCol >= 0) row[f.updatedCol] = Value::Date(now);
    }

    // ---- generic handlers ----

    void FillOuts(const Plan& p, const std::vector<Value>& row, std::vector<Value>& out) {
        for (size_t k = 0; k < p.cols.size(); ++k) {
            int c = p.cols[k];
            out[k] = c >= 0 ? row[c].As(p.outTypes[k]) : Value::Zero(p.outTypes[k]);
        }
    }

    int32_t DoGet(Plan& p, std::span<const Value> in, std::vector<Value>& out) {
        std::vector<Value> row;
        if (!ReadRow(*p.family, in[0].AsInt(), row)) return QUENDRIL_NOT_FOUND;
        FillOuts(p, row, out);
        return QUENDRIL_OK;
    }

    int32_t DoSet(Plan& p, std::span<const Value> in) {
        int64_t id = in[0].AsInt();
        if (id <= 0 || id > INT32_MAX) return QUENDRIL_BAD_ARGUMENT;
        Family& f = *p.family;
        return Write([&]() -> int32_t {
            std::vector<Value> row;
            bool exists = ReadRow(f, id, row);
            if (!exists) {
                if (!p.setsNumber) return QUENDRIL_NOT_FOUND;
                DefaultRow(f, row);
            }
            std::vector<Value> before;
            if (exists) before = row;
            for (size_t k = 0; k < p.cols.size(); ++k)
                if (p.cols[k] >= 0) row[p.cols[k]] = in[k + 1].As(f.cols[p.cols[k]].type);
            Stamp(f, row, !exists);
            if (int32_t rc = Validate(f, id, row, exists ? &before : nullptr)) return rc;
            return WriteRow(f, id, row, !exists) ? QUENDRIL_OK : QUENDRIL_INTERNAL_ERROR;
        });
    }

    int32_t DoAdd(Plan& p, std::span<const Value> in, std::vector<Value>& out) {
        Family& f = *p.family;
        int64_t newId = 0, newNumber = 0;
        int32_t rc = Write([&]() -> int32_t {
            std::vector<Value> row;
            DefaultRow(f, row);
            for (size_t k = 0; k < p.cols.size(); ++k)
                if (p.cols[k] >= 0) row[p.cols[k]] = in[k].As(f.cols[p.cols[k]].type);
            newId = ScalarInt(f.maxId, 0) + 1;
            if (newId > INT32_MAX) return QUENDRIL_TOO_LARGE;
            if (f.numberCol >= 0) {
                if (f.scopeCol >= 0) sqlite3_bind_int64(f.maxNumber, 1, row[f.scopeCol].AsInt());
                newNumber = ScalarInt(f.maxNumber, 0) + 1;
                row[f.numberCol] = Value::I32(static_cast<int32_t>(newNumber));
            }
            Stamp(f, row, true);
            if (int32_t v = Validate(f, newId, row)) return v;
            return WriteRow(f, newId, row, true) ? QUENDRIL_OK : QUENDRIL_INTERNAL_ERROR;
        });
        if (rc == QUENDRIL_OK) {
            out[0] = Value::I32(static_cast<int32_t>(newId));
            if (out.size() > 1) out[1] = Value::I32(static_cast<int32_t>(newNumber));
        }
        return rc;
    }

    int32_t DoDelete(Family& f, int64_t id) {
        return Write([&]() -> int32_t {
            if (!Exists(f, id)) return QUENDRIL_NOT_FOUND;
            for (Family& g : families_) {
                if (!g.def) continue;
                for (const RefDef& ref : g.def->refs) {
                    if (ref.target != f.def->tableId) continue;
                    if (ref.target == kTableZigBee && id < kFirstZigBeeSlotId) continue;
                    std::string sql = "SELECT 1 FROM " + std::string(g.def->table) + " WHERE " + Quote(ref.column) + "=?";
                    if (ref.cardTypes) {
                        std::string list(ref.cardTypes + 1);
                        list.pop_back();
                        sql += " AND \"CardType\" IN (" + list + ")";
                    }
                    if (&g == &f) sql += " AND id<>?";
                    sqlite3_stmt* s = Stmt(sql + " LIMIT 1");
                    if (!s) return QUENDRIL_INTERNAL_ERROR;
                    Reset r{s};
                    sqlite3_bind_int64(s, 1, id);
                    if (&g == &f) sqlite3_bind_int64(s, 2, id);
                    if (sqlite3_step(s) == SQLITE_ROW) return QUENDRIL_IN_USE;
                }
            }
            if (f.def->tableId == kTableGrades) {
                sqlite3_stmt* s = Stmt("DELETE FROM grade_price WHERE grade_id=?");
                Reset r{s};
                sqlite3_bind_int64(s, 1, id);
                if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            }
            if (f.def->tableId == kTableTanks) {
                for (const char* sql : {"DELETE FROM strap_table WHERE tank_id=?", "DELETE FROM strap_element WHERE tank_id=?"}) {
                    sqlite3_stmt* s = Stmt(sql);
                    Reset r{s};
                    sqlite3_bind_int64(s, 1, id);
                    if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
                }
            }
            Reset r{f.remove};
            sqlite3_bind_int64(f.remove, 1, id);
            if (sqlite3_step(f.remove) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            pendingIds_.push_back({&f, static_cast<int32_t>(id), -1});
            Changed(f.def->tableId, static_cast<int32_t>(id));
            return QUENDRIL_OK;
        });
    }

    const std::vector<int32_t>& Ids(Family& f) {
        if (!f.idsLoaded) {
            f.ids.clear();
            sqlite3_stmt* s = Stmt("SELECT id FROM " + std::string(f.def->table) + " ORDER BY id");
            Reset r{s};
            while (s && sqlite3_step(s) == SQLITE_ROW) f.ids.push_back(sqlite3_column_int(s, 0));
            f.idsLoaded = true;
        }
        return f.ids;
    }

    static int32_t Ordinal(const std::vector<int32_t>& ids, int64_t index, std::vector<Value>& out) {
        if (index < 1 || index > static_cast<int64_t>(ids.size())) return QUENDRIL_NOT_FOUND;
        out[0] = Value::I32(ids[static_cast<size_t>(index - 1)]);
        return QUENDRIL_OK;
    }

    int32_t Lookup(sqlite3_stmt* s, std::vector<Value>& out) {
        if (sqlite3_step(s) != SQLITE_ROW) return QUENDRIL_NOT_FOUND;
        out[0] = Value::I32(sqlite3_column_int(s, 0));
        return QUENDRIL_OK;
    }

    // The IDs that pass the filter values of a filtered count or ordinal call.
    const std::vector<int32_t>* FilteredIds(Plan& p, std::span<const Value> filters) {
        const auto& defs = FiltersOf(p.family->def->tableId);
        std::vector<Value> key(filters.begin(), filters.end());
        FilterCache& c = filterCache_;
        if (c.table == p.family->def->tableId && c.generation == generation_ && c.key == key) return &c.ids;
        std::string sql = "SELECT id FROM " + std::string(p.family->def->table);
        std::vector<std::pair<const Value*, Type>> binds;
        bool first = true;
        for (size_t k = 0; k < filters.size() && k < p.filterIndex.size(); ++k) {
            int fi = p.filterIndex[k];
            const Value& v = filters[k];
            if (fi < 0) continue;
            bool active = v.IsText() ? !v.text.empty() : v.IsReal() ? v.f > 0 : v.i != -1;
            if (!active) continue;
            sql += first ? " WHERE " : " AND ";
            sql += defs[fi].condition;
            first = false;
            binds.emplace_back(&v, v.type);
        }
        sql += " ORDER BY id";
        sqlite3_stmt* s = Stmt(sql);
        if (!s) return nullptr;
        Reset r{s};
        for (size_t b = 0; b < binds.size(); ++b) Bind(s, static_cast<int>(b) + 1, *binds[b].first, binds[b].second);
        c.ids.clear();
        while (sqlite3_step(s) == SQLITE_ROW) c.ids.push_back(sqlite3_column_int(s, 0));
        c.table = p.family->def->tableId;
        c.key = std::move(key);
        c.generation = generation_;
        return &c.ids;
    }

    int32_t Run(Plan& p, std::span<const Value> in, std::vector<Value>& out, const CallContext& ctx) {
        Family* f = p.family;
        switch (p.op) {
            case Op::kGet: return DoGet(p, in, out);
            case Op::kSet: return DoSet(p, in);
            case Op::kAdd: return DoAdd(p, in, out);
            case Op::kDelete: return DoDelete(*f, in[0].AsInt());
            case Op::kCount: out[0] = Value::I32(static_cast<int32_t>(Ids(*f).size())); return QUENDRIL_OK;
            case Op::kOrdinal: return Ordinal(Ids(*f), in[0].AsInt(), out);
            case Op::kByNumber: {
                Reset r{f->byNumber};
                sqlite3_bind_int64(f->byNumber, 1, in[0].AsInt());
                return Lookup(f->byNumber, out);
            }
            case Op::kByName: {
                if (in[0].IsNull() || in[0].text.empty()) return QUENDRIL_NOT_FOUND;
                Reset r{f->byName};
                Bind(f->byName, 1, in[0], Type::kText);
                return Lookup(f->byName, out);
            }
            case Op::kFilterCount: {
                const auto* ids = FilteredIds(p, in);
                if (!ids) return QUENDRIL_INTERNAL_ERROR;
                out[0] = Value::I32(static_cast<int32_t>(ids->size()));
                return QUENDRIL_OK;
            }
            case Op::kFilterOrdinal: {
                const auto* ids = FilteredIds(p, in.subspan(1));
                if (!ids) return QUENDRIL_INTERNAL_ERROR;
                return Ordinal(*ids, in[0].AsInt(), out);
            }
            case Op::kSpecial: return (this->*p.special)(in, out, ctx);
            case Op::kNone: break;
        }
        return QUENDRIL_NOT_SUPPORTED;
    }

    // ---- composite records (summaries) ----

    // Fills the outs of the current special function by name from `base`, then from the rows of
    // `related` under their prefixes ("Pump" + "Name" -> PumpName), then from the related rows
    // unprefixed. Names found nowhere are zero.
    struct Source {
        const Family* family;
        const std::vector<Value>* row;
        const char* prefix;
    };

    const Plan* current_ = nullptr;

    void FillByName(const std::vector<Source>& sources, std::vector<Value>& out,
                    const std::vector<std::pair<const char*, Value>>& extra = {}) {
        size_t k = 0;
        for (const ParamInfo& pi : api::ParamsOf(*current_->info)) {
            if (pi.dir != Dir::kOut) continue;
            std::string_view name = FieldName(pi.name);
            const Value* found = nullptr;
            for (auto& [n, v] : extra)
                if (name == n) found = &v;
            for (int pass = 0; pass < 3 && !found; ++pass) {
                for (const Source& s : sources) {
                    if (found || !s.row) break;
                    std::string_view prefix = s.prefix;
                    if (pass == 0 && !prefix.empty()) continue;
                    if (pass == 1 && (prefix.empty() || name.substr(0, prefix.size()) != prefix)) continue;
                    if (pass == 2 && prefix.empty()) continue;
                    std::string_view field = pass == 1 ? name.substr(prefix.size()) : name;
                    int c = s.family->ColumnIndex(field);
                    if (c >= 0) found = &(*s.row)[c];
                }
            }
            out[k] = found ? found->As(pi.type) : Value::Zero(pi.type);
            ++k;
        }
    }

    int32_t GetHoseSummary(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        std::vector<Value> hose, pump, tank, grade;
        if (!ReadRow(F(kTableHoses), in[0].AsInt(), hose)) return QUENDRIL_NOT_FOUND;
        Family& h = F(kTableHoses);
        bool hasPump = ReadRow(F(kTablePumps), hose[h.ColumnIndex("PumpID")].AsInt(), pump);
        bool hasTank = ReadRow(F(kTableTanks), hose[h.ColumnIndex("TankID")].AsInt(), tank);
        bool hasGrade = hasTank && ReadRow(F(kTableGrades), tank[F(kTableTanks).ColumnIndex("GradeID")].AsInt(), grade);
        FillByName({{&h, &hose, ""},
                    {&F(kTablePumps), hasPump ? &pump : nullptr, "Pump"},
                    {&F(kTableTanks), hasTank ? &tank : nullptr, "Tank"},
                    {&F(kTableGrades), hasGrade ? &grade : nullptr, "Grade"}},
                   out, {{"GradeID", Value::I32(hasTank ? static_cast<int32_t>(tank[F(kTableTanks).ColumnIndex("GradeID")].AsInt()) : 0)}});
        return QUENDRIL_OK;
    }

    int32_t GetTankSummary(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        std::vector<Value> tank, grade;
        Family& t = F(kTableTanks);
        if (!ReadRow(t, in[0].AsInt(), tank)) return QUENDRIL_NOT_FOUND;
        bool hasGrade = ReadRow(F(kTableGrades), tank[t.ColumnIndex("GradeID")].AsInt(), grade);
        // State and AlarmsMask are the gauge's live status; a configured tank reads 0 for both.
        FillByName({{&t, &tank, ""}, {&F(kTableGrades), hasGrade ? &grade : nullptr, "Grade"}}, out,
                   {{"State", Value::I16(0)}, {"AlarmsMask", Value::I32(0)}});
        return QUENDRIL_OK;
    }

    int32_t GetSaleItemSummary(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        Family& s = F(kTableSaleItems);
        std::vector<Value> item, product, pump, attendant, client;
        if (!ReadRow(s, in[0].AsInt(), item)) return QUENDRIL_NOT_FOUND;
        auto related = [&](int32_t table, const char* idField, std::vector<Value>& row) {
            return ReadRow(F(table), item[s.ColumnIndex(idField)].AsInt(), row) ? &row : nullptr;
        };
        const auto* p = related(kTableProducts, "ProductID", product);
        const auto* pu = related(kTablePumps, "PumpID", pump);
        const auto* a = related(kTableAttendants, "AttendantID", attendant);
        const auto* c = related(kTableCardClients, "CardClientID", client);
        FillByName({{&s, &item, ""},
                    {&F(kTableProducts), p, "Product"},
                    {&F(kTablePumps), pu, "Pump"},
                    {&F(kTableAttendants), a, "Attendant"},
                    {&F(kTableCardClients), c, "CardClient"}},
                   out, {{"ProductGroupName", Value::Text(u"")}});
        return QUENDRIL_OK;
    }

    // ---- grade prices ----

    int32_t GetGradePrice(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        int64_t id = in[0].AsInt(), level = in[1].AsInt();
        if (level < 1 || level > kPriceLevels) return QUENDRIL_BAD_ARGUMENT;
        if (!Exists(F(kTableGrades), id)) return QUENDRIL_NOT_FOUND;
        sqlite3_stmt* s = Stmt("SELECT price FROM grade_price WHERE grade_id=? AND level=?");
        Reset r{s};
        sqlite3_bind_int64(s, 1, id);
        sqlite3_bind_int64(s, 2, level);
        out[0] = Value::F64(sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_double(s, 0) : 0.0);
        return QUENDRIL_OK;
    }

    int32_t SetGradePrice(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        int64_t id = in[0].AsInt(), level = in[1].AsInt();
        double price = in[2].AsDouble();
        if (level < 1 || level > kPriceLevels || !std::isfinite(price) || price < 0) return QUENDRIL_BAD_ARGUMENT;
        return Write([&]() -> int32_t {
            if (!Exists(F(kTableGrades), id)) return QUENDRIL_NOT_FOUND;
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO grade_price(grade_id, level, price) VALUES(?,?,?)");
            Reset r{s};
            sqlite3_bind_int64(s, 1, id);
            sqlite3_bind_int64(s, 2, level);
            sqlite3_bind_double(s, 3, price);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTableGrades, static_cast<int32_t>(id));
            return QUENDRIL_OK;
        });
    }

    // ---- hoses of a pump ----

    int32_t GetPumpHosesCount(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        if (!Exists(F(kTablePumps), in[0].AsInt())) return QUENDRIL_NOT_FOUND;
        sqlite3_stmt* s = Stmt("SELECT count(*) FROM hose WHERE \"PumpID\"=?");
        sqlite3_bind_int64(s, 1, in[0].AsInt());
        out[0] = Value::I32(static_cast<int32_t>(ScalarInt(s, 0)));
        return QUENDRIL_OK;
    }

    int32_t GetPumpHoseByNumber(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        if (!Exists(F(kTablePumps), in[0].AsInt())) return QUENDRIL_NOT_FOUND;
        Family& h = F(kTableHoses);
        Reset r{h.byNumber};
        sqlite3_bind_int64(h.byNumber, 1, in[1].AsInt());
        sqlite3_bind_int64(h.byNumber, 2, in[0].AsInt());
        return Lookup(h.byNumber, out);
    }

    // ---- strapping tables ----

    struct Strap {
        double stepSize = 0, diameter = 0, offset = 0, capacity = 0;
        int32_t alarms = 0;
        Value desc = Value::Text(u"");
    };

    bool ReadStrap(int64_t tank, Strap& st) {
        sqlite3_stmt* s = Stmt("SELECT \"StepSize\",\"Diameter\",\"Offset\",\"Capacity\",\"Alarms\",\"Desc\" FROM strap_table WHERE tank_id=?");
        Reset r{s};
        sqlite3_bind_int64(s, 1, tank);
        if (sqlite3_step(s) != SQLITE_ROW) return false;
        st.stepSize = sqlite3_column_double(s, 0);
        st.diameter = sqlite3_column_double(s, 1);
        st.offset = sqlite3_column_double(s, 2);
        st.capacity = sqlite3_column_double(s, 3);
        st.alarms = sqlite3_column_int(s, 4);
        st.desc = ColumnValue(s, 5, Type::kText);
        return true;
    }

    int32_t GetStrappingTableData(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        if (!Exists(F(kTableTanks), in[0].AsInt())) return QUENDRIL_NOT_FOUND;
        Strap st;
        ReadStrap(in[0].AsInt(), st);
        out = {Value::F64(st.stepSize), Value::F64(st.diameter), Value::F64(st.offset),
               Value::F64(st.capacity), Value::I32(st.alarms), st.desc};
        return QUENDRIL_OK;
    }

    int32_t SetStrappingTableData(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        int64_t tank = in[0].AsInt();
        for (int k = 1; k <= 4; ++k)
            if (!std::isfinite(in[k].AsDouble()) || in[k].AsDouble() < 0) return QUENDRIL_BAD_ARGUMENT;
        return Write([&]() -> int32_t {
            if (!Exists(F(kTableTanks), tank)) return QUENDRIL_NOT_FOUND;
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO strap_table VALUES(?,?,?,?,?,?,?)");
            Reset r{s};
            sqlite3_bind_int64(s, 1, tank);
            for (int k = 1; k <= 4; ++k) sqlite3_bind_double(s, k + 1, in[k].AsDouble());
            sqlite3_bind_int64(s, 6, in[5].AsInt());
            Bind(s, 7, in[6], Type::kText);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTableTanks, static_cast<int32_t>(tank));
            return QUENDRIL_OK;
        });
    }

    int32_t GetStrappingTableElement(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        int64_t tank = in[0].AsInt(), element = in[1].AsInt();
        std::vector<Value> row;
        Family& t = F(kTableTanks);
        if (!ReadRow(t, tank, row)) return QUENDRIL_NOT_FOUND;
        if (element < 0 || element >= kStrapElements) return QUENDRIL_BAD_ARGUMENT;
        Strap st;
        ReadStrap(tank, st);
        double capacity = st.capacity > 0 ? st.capacity : row[t.ColumnIndex("Capacity")].AsDouble();
        double diameter = st.diameter > 0 ? st.diameter : row[t.ColumnIndex("Diameter")].AsDouble();
        sqlite3_stmt* s = Stmt("SELECT \"Passes\",\"StartDelta\",\"CurDelta\" FROM strap_element WHERE tank_id=? AND element=?");
        Reset r{s};
        sqlite3_bind_int64(s, 1, tank);
        sqlite3_bind_int64(s, 2, element);
        int passes = 0;
        double startDelta = 0, curDelta = 0;
        if (sqlite3_step(s) == SQLITE_ROW) {
            passes = sqlite3_column_int(s, 0);
            startDelta = sqlite3_column_double(s, 1);
            curDelta = sqlite3_column_double(s, 2);
        }
        double height = st.offset + static_cast<double>(element) * st.stepSize;
        double theo = CylinderVolume(capacity, diameter, height);
        out = {Value::I16(static_cast<int16_t>(passes)), Value::F64(height), Value::F64(startDelta),
               Value::F64(curDelta), Value::F64(theo + startDelta), Value::F64(theo + curDelta)};
        return QUENDRIL_OK;
    }

    int32_t SetStrappingTableElement(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        int64_t tank = in[0].AsInt(), element = in[1].AsInt();
        if (element < 0 || element >= kStrapElements || in[2].AsInt() < 0) return QUENDRIL_BAD_ARGUMENT;
        if (!std::isfinite(in[3].AsDouble()) || !std::isfinite(in[4].AsDouble())) return QUENDRIL_BAD_ARGUMENT;
        return Write([&]() -> int32_t {
            if (!Exists(F(kTableTanks), tank)) return QUENDRIL_NOT_FOUND;
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO strap_element VALUES(?,?,?,?,?)");
            Reset r{s};
            sqlite3_bind_int64(s, 1, tank);
            sqlite3_bind_int64(s, 2, element);
            sqlite3_bind_int64(s, 3, in[2].AsInt());
            sqlite3_bind_double(s, 4, in[3].AsDouble());
            sqlite3_bind_double(s, 5, in[4].AsDouble());
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTableTanks, static_cast<int32_t>(tank));
            return QUENDRIL_OK;
        });
    }

    // ---- cards ----

    // A tag is looked up among the card clients first (tag type 1, the client's card type),
    // then among the attendants (tag type 2, card type 0).
    int32_t LookupTag(const Value& tag, int16_t& cardType, int16_t& tagType, std::vector<Value>& row, Family*& f) {
        if (tag.IsNull() || tag.text.empty()) return QUENDRIL_BAD_ARGUMENT;
        for (int32_t table : {kTableCardClients, kTableAttendants}) {
            f = &F(table);
            sqlite3_stmt* s = Stmt("SELECT id FROM " + std::string(f->def->table) + " WHERE \"Tag\"=? ORDER BY id LIMIT 1");
            Reset r{s};
            Bind(s, 1, tag, Type::kText);
            if (sqlite3_step(s) != SQLITE_ROW) continue;
            int64_t id = sqlite3_column_int64(s, 0);
            if (!ReadRow(*f, id, row)) continue;
            row.push_back(Value::I32(static_cast<int32_t>(id)));
            tagType = table == kTableCardClients ? 1 : 2;
            cardType = table == kTableCardClients ? static_cast<int16_t>(row[f->cardTypeCol].AsInt()) : 0;
            return QUENDRIL_OK;
        }
        return QUENDRIL_NOT_FOUND;
    }

    int32_t GetCardType(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        int16_t cardType = 0, tagType = 0;
        std::vector<Value> row;
        Family* f = nullptr;
        if (int32_t rc = LookupTag(in[0], cardType, tagType, row, f)) return rc;
        out = {Value::I16(tagType), row.back(), row[f->nameCol], row[f->numberCol]};
        return QUENDRIL_OK;
    }

    int32_t FindCard(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        int16_t cardType = 0, tagType = 0;
        std::vector<Value> row;
        Family* f = nullptr;
        if (int32_t rc = LookupTag(in[0], cardType, tagType, row, f)) return rc;
        out = {Value::I16(cardType), Value::I16(tagType), row.back(), row[f->nameCol], row[f->numberCol]};
        return QUENDRIL_OK;
    }

    // ---- price signs ----

    int32_t GetPriceSignElement(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        int64_t element = in[0].AsInt();
        if (element < 1 || element > kPriceSignElements) return QUENDRIL_BAD_ARGUMENT;
        sqlite3_stmt* s = Stmt("SELECT \"ElementType\",\"LinkID\",\"Decimals\",\"Price\",\"State\",\"OnTime\",\"OffTime\" FROM price_sign WHERE element=?");
        Reset r{s};
        sqlite3_bind_int64(s, 1, element);
        if (sqlite3_step(s) != SQLITE_ROW) {
            // An element never configured shows nothing and links to nothing.
            out = {Value::I16(0), Value::I32(-1), Value::I16(0), Value::F64(0), Value::I16(0), Value::I16(0), Value::I16(0)};
            return QUENDRIL_OK;
        }
        out = {Value::I16(static_cast<int16_t>(sqlite3_column_int(s, 0))), Value::I32(sqlite3_column_int(s, 1)),
               Value::I16(static_cast<int16_t>(sqlite3_column_int(s, 2))), Value::F64(sqlite3_column_double(s, 3)),
               Value::I16(static_cast<int16_t>(sqlite3_column_int(s, 4))), Value::I16(static_cast<int16_t>(sqlite3_column_int(s, 5))),
               Value::I16(static_cast<int16_t>(sqlite3_column_int(s, 6)))};
        return QUENDRIL_OK;
    }

    int32_t SetPriceSignElement(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        int64_t element = in[0].AsInt();
        if (element < 1 || element > kPriceSignElements) return QUENDRIL_BAD_ARGUMENT;
        int64_t decimals = in[3].AsInt();
        if (decimals < 0 || decimals > 4 || !std::isfinite(in[4].AsDouble())) return QUENDRIL_BAD_ARGUMENT;
        return Write([&]() -> int32_t {
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO price_sign VALUES(?,?,?,?,?,?,?,?)");
            Reset r{s};
            sqlite3_bind_int64(s, 1, element);
            for (int k = 1; k <= 7; ++k) Bind(s, k + 1, in[k], k == 4 ? Type::kF64 : Type::kI32);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTablePriceSigns, static_cast<int32_t>(element));
            return QUENDRIL_OK;
        });
    }

    // ---- network, clock, settings ----

    int32_t GetTCPIPConfig(std::span<const Value>, std::vector<Value>& out, const CallContext&) {
        sqlite3_stmt* s = Stmt("SELECT \"IPAddress\",\"NetMask\",\"Gateway\",\"DNSServer\",\"DHCP\",\"NetworkName\" FROM network WHERE id=1");
        Reset r{s};
        if (sqlite3_step(s) != SQLITE_ROW) {
            out = {Value::Text(u"192.168.0.50"), Value::Text(u"255.255.255.0"), Value::Text(u"192.168.0.1"),
                   Value::Text(u"192.168.0.1"), Value::I16(0), Value::Text(u"WYRLAN")};
            return QUENDRIL_OK;
        }
        out = {ColumnValue(s, 0, Type::kText), ColumnValue(s, 1, Type::kText), ColumnValue(s, 2, Type::kText),
               ColumnValue(s, 3, Type::kText), ColumnValue(s, 4, Type::kI16), ColumnValue(s, 5, Type::kText)};
        return QUENDRIL_OK;
    }

    int32_t SetTCPIPConfig(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        bool dhcp = in[4].AsInt() != 0;
        for (int k = 0; k < 4; ++k) {
            std::u16string a = in[k].AsText();
            bool optional = k >= 2 || dhcp;  // gateway and DNS may be empty; with DHCP all may
            if (a.empty() ? !optional : !IsDottedQuad(a)) return QUENDRIL_BAD_ARGUMENT;
        }
        return Write([&]() -> int32_t {
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO network VALUES(1,?,?,?,?,?,?)");
            Reset r{s};
            for (int k = 0; k < 6; ++k) Bind(s, k + 1, in[k], k == 4 ? Type::kI16 : Type::kText);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTableNetwork, 0);
            return QUENDRIL_OK;
        });
    }

    int32_t GetDateTime(std::span<const Value>, std::vector<Value>& out, const CallContext&) {
        out[0] = Value::Date(Now());
        return QUENDRIL_OK;
    }

    // The controller's clock is kept as an offset from the host's clock, which is never set.
    int32_t SetDateTime(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        double d = in[0].AsDouble();
        if (!std::isfinite(d) || d <= 0 || d > 2958465.0) return QUENDRIL_BAD_ARGUMENT;  // 9999-12-31
        double offset = d - callHostNow_;
        return Write([&]() -> int32_t {
            sqlite3_stmt* s = Stmt("INSERT OR REPLACE INTO meta(key, value) VALUES('clock_offset', ?)");
            Reset r{s};
            sqlite3_bind_double(s, 1, offset);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            pendingClock_ = true;
            pendingClockOffset_ = offset;
            Changed(kTableClock, 0);
            return QUENDRIL_OK;
        });
    }

    // GetIniValue(Section, Key) and GetIniValueEx(FileName, Section, Key): the server's own
    // settings, kept in the database; a key never written reads as the empty text.
    int32_t GetIniValue(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        size_t base = in.size() == 3 ? 1 : 0;
        std::u16string file = base ? in[0].AsText() : u"";
        if (in[base].AsText().empty() || in[base + 1].AsText().empty()) return QUENDRIL_BAD_ARGUMENT;
        sqlite3_stmt* s = Stmt("SELECT value FROM setting WHERE file=? AND section=? AND key=?");
        Reset r{s};
        Bind(s, 1, Value::Text(file), Type::kText);
        Bind(s, 2, in[base], Type::kText);
        Bind(s, 3, in[base + 1], Type::kText);
        out[0] = sqlite3_step(s) == SQLITE_ROW ? ColumnValue(s, 0, Type::kText) : Value::Text(u"");
        if (out[0].IsNull()) out[0] = Value::Text(u"");
        return QUENDRIL_OK;
    }

    // A null value removes the key.
    int32_t SetIniValue(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        size_t base = in.size() == 4 ? 1 : 0;
        std::u16string file = base ? in[0].AsText() : u"";
        if (in[base].AsText().empty() || in[base + 1].AsText().empty()) return QUENDRIL_BAD_ARGUMENT;
        const Value& value = in[base + 2];
        return Write([&]() -> int32_t {
            sqlite3_stmt* s = Stmt(value.IsNull() ? "DELETE FROM setting WHERE file=? AND section=? AND key=?"
                                                  : "INSERT OR REPLACE INTO setting VALUES(?,?,?,?)");
            Reset r{s};
            Bind(s, 1, Value::Text(file), Type::kText);
            Bind(s, 2, in[base], Type::kText);
            Bind(s, 3, in[base + 1], Type::kText);
            if (!value.IsNull()) Bind(s, 4, value, Type::kText);
            if (sqlite3_step(s) != SQLITE_DONE) return QUENDRIL_INTERNAL_ERROR;
            Changed(kTableSettings, 0);
            return QUENDRIL_OK;
        });
    }

    // ---- hardware details derived from the stored serial numbers ----

    int32_t GetSerialNo(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        std::vector<Value> port;
        Family& p = F(kTablePorts);
        if (!ReadRow(p, in[0].AsInt(), port)) return QUENDRIL_NOT_FOUND;
        out[0] = port[p.ColumnIndex("SerialNo")];
        return QUENDRIL_OK;
    }

    // ZBID 0 or below: the port's own device; else the ZigBee device on that port. A device
    // without a serial number does not answer (QUENDRIL_NOT_FOUND).
    int32_t GetDeviceDetails(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        std::vector<Value> port, zb;
        Family& p = F(kTablePorts);
        Family& z = F(kTableZigBee);
        if (!ReadRow(p, in[0].AsInt(), port)) return QUENDRIL_NOT_FOUND;
        std::u16string serial;
        if (in[1].AsInt() > 0) {
            if (!ReadRow(z, in[1].AsInt(), zb) || zb[z.ColumnIndex("PortID")].AsInt() != in[0].AsInt())
                return QUENDRIL_NOT_FOUND;
            serial = zb[z.ColumnIndex("SerialNumber")].AsText();
        } else {
            serial = port[p.ColumnIndex("SerialNo")].AsText();
        }
        if (serial.empty()) return QUENDRIL_NOT_FOUND;
        uint64_t h = Hash(serial, 1);
        char boot[32], firmware[32];
        std::snprintf(boot, sizeof boot, "1.%u.%u", static_cast<unsigned>(h % 4), static_cast<unsigned>((h >> 8) % 10));
        std::snprintf(firmware, sizeof firmware, "4.%u.%u", static_cast<unsigned>((h >> 16) % 8),
                      static_cast<unsigned>((h >> 24) % 100));
        out = {Value::Text(serial), Value::Text(Widen(boot)), Value::Text(Widen(firmware))};
        return QUENDRIL_OK;
    }

    // A ZigBee coordinator port reports its network (PAN ID, channel mask in bits 11..26, link
    // keys) derived from its serial number, or the PAN set by SetZBCoordPan; any other port
    // reports zeros.
    int32_t GetZB2GConfig(std::span<const Value> in, std::vector<Value>& out, const CallContext&) {
        std::vector<Value> port;
        Family& p = F(kTablePorts);
        if (!ReadRow(p, in[0].AsInt(), port)) return QUENDRIL_NOT_FOUND;
        if (port[p.ColumnIndex("DeviceType")].AsInt() != kPortZigBeeCoordinator) {
            out = {Value::I64(0), Value::I32(0), Value::I64(0), Value::I64(0)};
            return QUENDRIL_OK;
        }
        std::u16string serial = port[p.ColumnIndex("SerialNo")].AsText();
        uint64_t h = Hash(serial, 2);
        int64_t pan = port[p.ColumnIndex("PanID")].AsInt();
        if (pan < 0) pan = static_cast<int64_t>(0x1000 + h % 0xE000);
        uint32_t channels = (1u << (11 + h % 16)) | (1u << (11 + (h >> 4) % 16)) | (1u << (11 + (h >> 8) % 16));
        out = {Value::I64(pan), Value::I32(static_cast<int32_t>(channels)), Value::I64(static_cast<int64_t>(Hash(serial, 3))),
               Value::I64(static_cast<int64_t>(Hash(serial, 4)))};
        return QUENDRIL_OK;
    }

    int32_t SetZBCoordPan(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        int64_t pan = in[1].AsInt();
        if (pan < 0 || pan > 0xFFFF) return QUENDRIL_BAD_ARGUMENT;
        return Modify(kTablePorts, in[0].AsInt(), [&](Family& f, std::vector<Value>& row) -> int32_t {
            if (row[f.ColumnIndex("DeviceType")].AsInt() != kPortZigBeeCoordinator) return QUENDRIL_WRONG_STATE;
            row[f.ColumnIndex("PanID")] = Value::I64(pan);
            return QUENDRIL_OK;
        });
    }

    // ---- state changes of log events and sale items ----

    template <class Fn>
    int32_t Modify(int32_t table, int64_t id, Fn&& fn) {
        Family& f = F(table);
        return Write([&]() -> int32_t {
            std::vector<Value> row;
            if (!ReadRow(f, id, row)) return QUENDRIL_NOT_FOUND;
            if (int32_t rc = fn(f, row)) return rc;
            return WriteRow(f, id, row, false) ? QUENDRIL_OK : QUENDRIL_INTERNAL_ERROR;
        });
    }

    int32_t ClearLogEvent(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        return Modify(kTableLogEvents, in[0].AsInt(), [&](Family& f, std::vector<Value>& row) {
            row[f.ColumnIndex("ClearedBy")] = Value::I32(static_cast<int32_t>(in[1].AsInt()));
            row[f.ColumnIndex("ClearedDT")] = Value::Date(Now());
            return QUENDRIL_OK;
        });
    }

    int32_t AckLogEvent(std::span<const Value> in, std::vector<Value>&, const CallContext&) {
        return Modify(kTableLogEvents, in[0].AsInt(), [&](Family& f, std::vector<Value>& row) {
            row[f.ColumnIndex("AckedBy")] = Value::I32(static_cast<int32_t>(in[1].AsInt()));
            return QUENDRIL_OK;
        });
    }

    int32_t SaleItemState(int64_t id, const CallContext& ctx, bool lock, bool unlock, bool clear) {
        return Modify(kTableSaleItems, id, [&](Family& f, std::vector<Value>& row) -> int32_t {
            Value& lockedBy = row[f.ColumnIndex("LockedBy")];
            if (lockedBy.AsInt() != 0 && lockedBy.AsInt() != ctx.clientId) return QUENDRIL_LOCKED_BY_OTHER;
            if (lock) lockedBy = Value::I32(ctx.clientId);
            if (unlock) lockedBy = Value::I32(0);
            if (clear) {
                row[f.ColumnIndex("ClearedBy")] = Value::I32(ctx.clientId);
                row[f.ColumnIndex("ClearedDT")] = Value::Date(Now());
            }
            return QUENDRIL_OK;
        });
    }

    int32_t SaleItemLock(std::span<const Value> in, std::vector<Value>&, const CallContext& c) { return SaleItemState(in[0].AsInt(), c, true, false, false); }
    int32_t SaleItemUnlock(std::span<const Value> in, std::vector<Value>&, const CallContext& c) { return SaleItemState(in[0].AsInt(), c, false, true, false); }
    int32_t SaleItemClear(std::span<const Value> in, std::vector<Value>&, const CallContext& c) { return SaleItemState(in[0].AsInt(), c, false, false, true); }
    int32_t SaleItemLockAndClear(std::span<const Value> in, std::vector<Value>&, const CallContext& c) { return SaleItemState(in[0].AsInt(), c, true, false, true); }

    int32_t SaleItemFlag(int64_t id, const char* column) {
        return Modify(kTableSaleItems, id, [&](Family& f, std::vector<Value>& row) {
            row[f.ColumnIndex(column)] = Value::I16(1);
            return QUENDRIL_OK;
        });
    }
    int32_t SaleItemAckDBLog(std::span<const Value> in, std::vector<Value>&, const CallContext&) { return SaleItemFlag(in[0].AsInt(), "LoggedDB"); }
    int32_t SaleItemAckVolLog(std::span<const Value> in, std::vector<Value>&, const CallContext&) { return SaleItemFlag(in[0].AsInt(), "LoggedVolumetric"); }
};

// ---- Store -------------------------------------------------------------------------------------

Store::Store(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Store::~Store() = default;

std::unique_ptr<Store> Store::Open(const std::string& path, std::string* error, StoreOptions options) {
    std::string ignored;
    if (!error) error = &ignored;
    auto impl = std::make_unique<Impl>();
    impl->options_ = std::move(options);
    if (!impl->options_.hostNow) impl->options_.hostNow = HostNowDefault;
    if (sqlite3_open_v2(path.c_str(), &impl->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = "cannot open " + path + ": " + (impl->db_ ? sqlite3_errmsg(impl->db_) : "out of memory");
        return nullptr;
    }
    sqlite3_busy_timeout(impl->db_, 5000);
    // WAL with synchronous=NORMAL: a batch commit is in the WAL file (the kernel's page cache)
    // when COMMIT returns, and the WAL is synced only at checkpoints; the writes of the batch were
    // in the redo journal (also page cache) before each was answered. Killing the server process,
    // even with SIGKILL, loses nothing that was answered 0: the kernel still writes those pages
    // and the next open replays the WAL and then the journal. Only an OS crash or power loss can
    // drop the last writes (never corrupt the file), which a controller's configuration
    // tolerates, at ~14x the commit rate of synchronous=FULL (about 55,000 against 4,000/s here).
    //
    // The server is the file's only user: an exclusive lock taken at the first access and held
    // until close spares every transaction its file-lock calls and the WAL its shared-memory
    // index (a second server on the same file cannot open it instead of sharing it).
    if (!impl->Exec("PRAGMA locking_mode=EXCLUSIVE") || !impl->Exec("PRAGMA journal_mode=WAL") ||
        !impl->Exec("PRAGMA synchronous=NORMAL") ||
        // Room for a whole batch of writes: a batch that outgrows the page cache spills pages
        // into the WAL one write at a time.
        !impl->Exec("PRAGMA cache_size=-65536") ||
        // The savepoint of each write journals the pages it changes: in memory, not a temp file.
        !impl->Exec("PRAGMA temp_store=MEMORY") ||
        !impl->Exec("PRAGMA foreign_keys=OFF")) {
        *error = std::string("cannot set up ") + path + ": " + sqlite3_errmsg(impl->db_);
        return nullptr;
    }
    if (!impl->BuildFamilies(error) || !impl->CreateSchema(error)) return nullptr;
    if (!impl->PrepareFamilies()) {
        *error = std::string("cannot prepare statements: ") + sqlite3_errmsg(impl->db_);
        return nullptr;
    }
    impl->BuildPlans();
    sqlite3_stmt* s = impl->Stmt("SELECT value FROM meta WHERE key='clock_offset'");
    if (s) {
        Reset r{s};
        if (sqlite3_step(s) == SQLITE_ROW) impl->clockOffset_ = sqlite3_column_double(s, 0);
    }
    if (!impl->journal_.Open(path + "-redo", error)) return nullptr;
    impl->sequence_ = static_cast<uint64_t>(
        Impl::ScalarInt(impl->Stmt("SELECT value FROM meta WHERE key='journal_sequence'"), 0));
    std::unique_ptr<Store> store(new Store(std::move(impl)));
    if (!store->Replay(error)) return nullptr;
    return store;
}

// Writes the journal holds that the file does not (the server stopped before their batch was
// committed), in their order, with the host time and client they first had.
bool Store::Replay(std::string* error) {
    Impl& impl = *impl_;
    int replayed = 0;
    for (const RedoRecord& r : impl.journal_.ReadAll()) {
        if (r.sequence <= impl.sequence_) continue;  // committed before the journal was emptied
        const FunctionInfo* f = api::FindFunction(r.function);
        if (f == nullptr) {
            *error = "the journal names an unknown function " + r.function;
            return false;
        }
        impl.replaying_ = true;
        impl.callHostNow_ = r.hostNow;
        std::vector<Value> out;
        int32_t rc = Call(f->id, r.in, out, CallContext{r.clientId});
        impl.replaying_ = false;
        if (rc != QUENDRIL_OK) std::fprintf(stderr, "store: replay of %s gave %d\n", r.function.c_str(), rc);
        impl.sequence_ = r.sequence;
        ++replayed;
    }
    if (replayed > 0 && !impl.CommitBatch()) {
        *error = "cannot commit the journal's writes";
        return false;
    }
    if (replayed == 0 && !impl.journal_.Truncate()) {
        *error = "cannot empty the journal";
        return false;
    }
    return true;
}

bool Store::Handles(FunctionId id) const {
    size_t i = static_cast<size_t>(id);
    return i < impl_->plans_.size() && impl_->plans_[i].op != Op::kNone;
}

int32_t Store::Call(FunctionId id, std::span<const Value> in, std::vector<Value>& out, const CallContext& context) {
    size_t i = static_cast<size_t>(id);
    if (i >= impl_->plans_.size()) return QUENDRIL_NOT_SUPPORTED;
    Plan& p = impl_->plans_[i];
    out.clear();
    for (Type t : p.outTypes) out.push_back(Value::Zero(t));
    if (p.op == Op::kNone) return QUENDRIL_NOT_SUPPORTED;
    size_t ins = 0;
    for (const ParamInfo& pi : api::ParamsOf(*p.info))
        if (pi.dir == Dir::kIn) ++ins;
    if (in.size() != ins) return QUENDRIL_BAD_ARGUMENT;
    impl_->current_ = &p;
    if (!impl_->replaying_) impl_->callHostNow_ = impl_->options_.hostNow();
    impl_->callName_ = p.info->name;
    impl_->callIn_ = in;
    impl_->callClient_ = context.clientId;
    int32_t rc = impl_->Run(p, in, out, context);
    if (rc != QUENDRIL_OK) {
        out.clear();
        for (Type t : p.outTypes) out.push_back(Value::Zero(t));
    }
    return rc;
}

bool Store::Flush() { return impl_->CommitBatch(); }

void Store::SetChangeCallback(ChangeCallback callback) { impl_->callback_ = std::move(callback); }

int64_t Store::CountOf(int32_t tableId) {
    if (tableId < 0 || tableId >= static_cast<int32_t>(impl_->families_.size()) || !impl_->families_[tableId].def)
        return -1;
    return static_cast<int64_t>(impl_->Ids(impl_->families_[tableId]).size());
}

bool Store::IsEmpty() {
    for (int32_t t : {kTablePorts, kTableGrades, kTableTanks, kTablePumps, kTableCardClients})
        if (CountOf(t) > 0) return false;
    return true;
}

int32_t CallWith(Store& store, FunctionId id, std::initializer_list<Value> in, std::vector<Value>& out) {
    return store.Call(id, std::span<const Value>(in.begin(), in.size()), out);
}

}  // namespace wyrlan::store
