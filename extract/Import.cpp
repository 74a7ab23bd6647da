// ImportConfiguration: every object of an INI file written back into the controller.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/CINIFile.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"
#include "platform/text.h"

namespace {

// The IDs of the grades and tanks written so far, at most 128 each; an ID that does not fit is
// not recorded (that object is written again whenever it is reached again).
class ImportedList {
public:
    static constexpr size_t kCapacity = 128;
    bool Contains(int32_t id) const { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); }
    void Record(int32_t id) {
        if (ids_.size() < kCapacity) ids_.push_back(id);
    }
    void Clear() { ids_.clear(); }

private:
    std::vector<int32_t> ids_;
};

ImportedList g_importedGrades;
ImportedList g_importedTanks;
// The card clients whose import is under way: a parent chain that comes back to one of them is
// cut there (it counts as written for the chain).
std::vector<int32_t> g_clientsInProgress;

class Importer {
public:
    Importer(CINIFile& ini, CClientLibrary& library) : ini_(ini), library_(library) {}

    bool Port(int32_t id);
    bool Grade(int32_t id);
    bool ZigBee(int32_t id);
    bool Tank(int32_t id);
    bool Pump(int32_t id);
    bool Sensor(int32_t id);
    bool Attendant(int32_t id, bool skip);
    bool Product(int32_t id, bool skip);
    bool CardClient(int32_t id, bool skip);

private:
    // Selects the section of the object and reads its Number: false when below 1.
    bool Select(const char* format, int32_t id, int32_t& number) {
        section_.Format(format, id);
        ini_.SetSection(section_);
        number = Int("Number");
        return number >= 1;
    }
    void Reselect() { ini_.SetSection(section_); }
    int32_t Int(const char* key) {
        key_.Assign(key);
        return ini_.GetInt(key_);
    }
    int16_t Short(const char* key) { return int16_t(Int(key)); }
    double Cur(const char* key) {
        key_.Assign(key);
        return ini_.GetCur(key_).ToDouble();
    }
    void Text(const char* key, CStr& out) {
        key_.Assign(key);
        ini_.GetString(key_, out);
    }
    DATE Date(const char* key);

    CINIFile& ini_;
    CClientLibrary& library_;
    CStr section_;
    CStr key_;
};

// The exported number form (an OLE Automation date with five decimals) is taken as that date, so
// a round trip restores it; otherwise the date text CINIFile reads, 0 when there is none.
DATE Importer::Date(const char* key) {
    CStr text;
    Text(key, text);
    const char* narrow = text.IsNull() ? "" : text.Narrow();
    while (*narrow == ' ') ++narrow;
    if (*narrow != '\0') {
        char* end = nullptr;
        errno = 0;
        double value = std::strtod(narrow, &end);
        if (end != narrow && *end == '\0' && errno == 0 && std::isfinite(value)) return value;
    }
    key_.Assign(key);
    return ini_.GetDate(key_).ToOleDate();
}

bool Importer::Port(int32_t id) {
    int32_t number = 0;
    if (!Select("Port%02d", id, number)) return false;
    CStr name, serialNo;
    Text("Name", name);
    Text("SerialNo", serialNo);
    int32_t protocolID = Int("ProtocolID");
    int16_t deviceType = Short("DeviceType");
    return ReportResult("SetPortProperties failed",
                        library_.SetPortProperties(id, number, name, protocolID, deviceType, serialNo));
}

bool Importer::Grade(int32_t id) {
    if (g_importedGrades.Contains(id)) return true;
    int32_t number = 0;
    if (!Select("Grade%02d", id, number)) return false;
    CStr name, shortName, code;
    Text("Name", name);
    Text("ShortName", shortName);
    Text("Code", code);
    int16_t type = Short("GradeType");
    if (!ReportResult("SetGradeProperties failed.",
                      library_.SetGradeProperties(id, number, name, shortName, code, type))) {
        return false;
    }
    for (int16_t level = 1; level <= 8; ++level) {
        char key[16];
        std::snprintf(key, sizeof key, "Price%02d", level);
        double price = Cur(key);
        if (!(price > 0)) break;
        if (!ReportResult("SetGradePrice failed.", library_.SetGradePrice(id, level, price))) return false;
    }
    g_importedGrades.Record(id);
    return true;
}

bool Importer::ZigBee(int32_t id) {
    int32_t number = 0;
    if (!Select("ZigBee%02d", id, number)) return false;
    CStr name, serialNumber, nodeIdentifier;
    Text("Name", name);
    int16_t deviceType = Short("DeviceType");
    Text("SerialNumber", serialNumber);
    Text("NodeIdentifier", nodeIdentifier);
    int32_t portID = Int("PortID");
    return ReportResult("SetZigBeeProperties failed.",
                        library_.SetZigBeeProperties(id, number, name, deviceType, serialNumber, nodeIdentifier,
                                                     portID));
}

bool Importer::Tank(int32_t id) {
    if (g_importedTanks.Contains(id)) return true;
    int32_t number = 0;
    if (!Select("Tank%02d", id, number)) return false;
    const CStr section(section_);
    CStr name;
    Text("Name", name);
    int32_t gradeID = Int("Grade");
    int16_t type = Short("Type");
    double capacity = Cur("Capacity");
    double diameter = Cur("Diameter");
    int32_t gaugeID = Int("TankGauge");
    int16_t probeNo = Short("Probe");
    int32_t gaugeAlarmsMask = Int("GaugeAlarmsMask");
    int32_t slotZigBeeID = Int("SlotZigBeeID");
    int16_t probeType = Short("ProbeType");
    int32_t probeSerialNo = Int("ProbeSerialNo");
    int32_t tankManifoldID = Int("TankManifoldID");

    if (!Grade(gradeID)) return false;
    if (slotZigBeeID >= 5 && !ZigBee(slotZigBeeID)) return false;
    section_ = section;
    Reselect();
    if (!ReportResult("SetTankProperties failed.",
                      library_.SetTankProperties(id, number, name, gradeID, type, capacity, diameter, 0, 0, 0, 0, 0,
                                                 0, 0, 0, gaugeID, probeNo, gaugeAlarmsMask, slotZigBeeID,
                                                 probeType, probeSerialNo, tankManifoldID))) {
        return false;
    }
    g_importedTanks.Record(id);
    return true;
}

bool Importer::Pump(int32_t id) {
    int32_t number = 0;
    if (!Select("Pump%02d", id, number)) return false;
    const CStr section(section_);
    CStr name;
    Text("Name", name);
    int16_t physicalNumber = Short("PhysicalNumber");
    int16_t side = Short("Side");
    int16_t address = Short("Address");
    int32_t slot = Int("Slot");
    int16_t priceLevel1 = Short("PriceLevel1");
    int16_t priceLevel2 = Short("PriceLevel2");
    int16_t priceDspFormat = Short("PriceDspFormat");
    int16_t volumeDspFormat = Short("VolumeDspFormat");
    int16_t valueDspFormat = Short("ValueDspFormat");
    int16_t type = Short("PumpType");
    int32_t portID = Int("PortID");
    int32_t attendantID = Int("AttendantID");
    int16_t authMode = Short("AuthMode");
    int16_t stackMode = Short("StackMode");
    int16_t prepayAllowed = Short("PrepayAllowed");
    int16_t preauthAllowed = Short("PreauthAllowed");
    int32_t muxSlotZigBeeID = Int("MuxSlotZigBeeID");
    int16_t priceControl = Short("PriceControl");
    int16_t hasPreset = Short("HasPreset");

    if (slot >= 5 && !ZigBee(slot)) return false;
    section_ = section;
    Reselect();
    if (!ReportResult("SetPumpProperties failed.",
                      library_.SetPumpProperties(id, number, name, physicalNumber, side, address, priceLevel1,
                                                 priceLevel2, priceDspFormat, volumeDspFormat, valueDspFormat, type,
                                                 portID, attendantID, authMode, stackMode, prepayAllowed,
                                                 preauthAllowed, slot, muxSlotZigBeeID, priceControl, hasPreset))) {
        return false;
    }
    char key[40];
    auto keyOf = [&](int n, const char* field) {
        std::snprintf(key, sizeof key, "Hose%d%s", n, field);
        return key;
    };
    for (int n = 1; n <= 8; ++n) {
        int32_t hoseID = Int(keyOf(n, "ID"));
        if (hoseID < 1) break;
        int32_t tankID = Int(keyOf(n, "Tank"));
        if (tankID < 1) break;
        if (!Tank(tankID)) return false;
        section_ = section;
        Reselect();
        int32_t hosePhysicalNumber = Int(keyOf(n, "PhysicalNumber"));
        int16_t reader = Short(keyOf(n, "Reader"));
        double price1 = Cur(keyOf(n, "Price1"));
        double price2 = Cur(keyOf(n, "Price2"));
        double price3 = Cur(keyOf(n, "Price3"));
        double price4 = Cur(keyOf(n, "Price4"));
        int16_t enabled = Short(keyOf(n, "Enabled"));
        if (!ReportResult("SetHoseProperties failed.",
                          library_.SetHoseProperties(hoseID, n, id, tankID, hosePhysicalNumber, 0, 0, 0, 0, reader,
                                                     price1, price2, price3, price4, enabled))) {
            return false;
        }
        std::printf("*");
    }
    return true;
}

bool Importer::Sensor(int32_t id) {
    int32_t number = 0;
    if (!Select("Sensor%02d", id, number)) return false;
    CStr name;
    Text("Name", name);
    int32_t portID = Int("PortID");
    int16_t type = Short("Type");
    int16_t address = Short("Address");
    int16_t sensorNo = Short("SensorNo");
    int32_t slotZigBeeID = Int("SlotZigBeeID");
    int32_t sensorSerialNo = Int("SensorSerialNo");
    return ReportResult("SetSensorProperties failed.",
                        library_.SetSensorProperties(id, number, name, portID, type, address, sensorNo,
                                                     slotZigBeeID, sensorSerialNo));
}

bool Importer::Attendant(int32_t id, bool skip) {
    int32_t number = 0;
    if (!Select("Attendant%02d", id, number)) return false;
    CStr name, shortName, password, tag, idNumber;
    Text("Name", name);
    Text("ShortName", shortName);
    Text("Password", password);
    Text("Tag", tag);
    Text("IDNumber", idNumber);
    int16_t shiftAStart = Short("ShiftAStart");
    int16_t shiftAEnd = Short("ShiftAEnd");
    int16_t shiftBStart = Short("ShiftBStart");
    int16_t shiftBEnd = Short("ShiftBEnd");
    int16_t enabled = Short("Enabled");
    int16_t type = Short("Type");
    if (type == 0) type = enabled;
    if (skip) return true;
    return ReportResult("SetAttendantPropertiesEx2 failed.",
                        library_.SetAttendantProperties(id, number, name, shortName, password, tag, idNumber,
                                                        shiftAStart, shiftAEnd, shiftBStart, shiftBEnd, type));
}

bool Importer::Product(int32_t id, bool skip) {
    int32_t number = 0;
    if (!Select("Product%03d", id, number)) return false;
    CStr name, tag, shortName, barcode;
    Text("Name", name);
    Text("Tag", tag);
    int16_t enabled = Short("Enabled");
    Text("ShortName", shortName);
    Text("Barcode", barcode);
    int32_t quickCode = Int("QuickCode");
    double price1 = Cur("Price1");
    double price2 = Cur("Price2");
    double price3 = Cur("Price3");
    double price4 = Cur("Price4");
    int32_t productGroup = Int("ProductGroup");
    if (skip) return true;
    return ReportResult("SetProductProperties failed.",
                        library_.SetProductProperties(id, number, name, tag, enabled, shortName, barcode, quickCode,
                                                      price1, price2, price3, price4, productGroup));
}

bool Importer::CardClient(int32_t id, bool skip) {
    // A parent chain that leads back to a client already being imported ends here.
    if (std::find(g_clientsInProgress.begin(), g_clientsInProgress.end(), id) != g_clientsInProgress.end()) {
        return true;
    }
    int32_t number = 0;
    if (!Select("Client%03d", id, number)) return false;
    const CStr section(section_);
    CStr name, tag, plate, idNumber, shortName, password, sorvikSerialNo;
    Text("Name", name);
    Text("Tag", tag);
    int16_t enabled = Short("Enabled");
    int16_t priceLevel = Short("PriceLevel");
    Text("Plate", plate);
    Text("IDNumber", idNumber);
    Text("ShortName", shortName);
    Text("Password", password);
    int16_t gradeType = Short("GradeType");
    int16_t cardType = Short("CardType");
    int16_t limitType = Short("LimitType");
    double limit = Cur("LimitValue");
    int16_t entryType = Short("EntryType");
    DATE expirationDate = Date("ExpirationDate");
    int32_t parentID = Int("ParentID");
    Text("SorvikSerialNo", sorvikSerialNo);
    double odometer = Cur("Odometer");
    int32_t factor = Int("Factor");
    if (factor == 0) factor = 1;

    bool parentWritten = true;
    switch (cardType) {
        case 4:
        case 6:
            g_clientsInProgress.push_back(id);
            parentWritten = CardClient(parentID, skip);
            g_clientsInProgress.pop_back();
            break;
        case 5:
            parentWritten = Attendant(parentID, skip);
            break;
        case 7:
        case 8:
            parentWritten = Product(parentID, skip);
            break;
        default:
            break;
    }
    if (!parentWritten) return false;
    if (skip) return true;
    section_ = section;
    Reselect();
    return ReportResult("SetCardClientProperties failed.",
                        library_.SetCardClientProperties(id, number, name, tag, enabled, priceLevel, plate, idNumber,
                                                         shortName, password, gradeType, cardType, limitType, limit,
                                                         entryType, expirationDate, parentID, sorvikSerialNo,
                                                         odometer, factor));
}

// The ID of a section: all its decimal digits joined, left to right. 0 for a name without digits,
// and for one whose digits do not fit an ID.
int32_t SectionID(const CStr& name) {
    int64_t id = 0;
    const char16_t* text = name.Wide();
    for (int i = 0; i < name.Length(); ++i) {
        char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            id = id * 10 + (c - u'0');
            if (id > INT32_MAX) return 0;
        }
    }
    return int32_t(id);
}

// A regular file that can be opened for reading.
bool Readable(const CStr& fileName) {
    if (fileName.Length() == 0) return false;
    std::string path = platform::ToUtf8(fileName.Wide(), size_t(fileName.Length()));
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

enum Kind { kPorts, kGrades, kTanks, kZigBees, kPumps, kSensors, kAttendants, kProducts, kCards, kKinds };

struct KindRow {
    const char* text;     // what the section name contains
    const char* heading;  // printed when the kind changes
};

// In the order the section names are tested.
constexpr KindRow kRows[kKinds] = {
    {"Port", "\n  Ports "},          {"Grade", "\n  Grades "},        {"Tank", "\n  Tanks "},
    {"ZigBee", "\n  ZigBee devices"}, {"Pump", "\n  Pumps "},         {"Sensor", "\n  Sensors "},
    {"Attendant", "\n  Attendants "}, {"Product", "\n  Products "},    {"Client", "\n  Cards "},
};

struct SummaryRow {
    Kind kind;
    const char* one;
    const char* many;
};

// In the order the summary lines are printed.
constexpr SummaryRow kSummary[kKinds] = {
    {kPorts, "Port", "Ports"},          {kGrades, "Grade", "Grades"},
    {kTanks, "Tank", "Tanks"},          {kZigBees, "ZigBee device", "ZigBee devices"},
    {kPumps, "Pump", "Pumps"},          {kSensors, "Sensor", "Sensors"},
    {kProducts, "Product", "Products"}, {kAttendants, "Attendant", "Attendants"},
    {kCards, "Card", "Cards"},
};

}  // namespace

int ImportConfiguration(const CStr& fileName, bool NoProducts, bool NoAttendants, bool NoCardClients) {
    CStr shownName(fileName);
    if (!Readable(fileName)) {
        std::printf("Cannot read the configuration file %s.\n", shownName.IsNull() ? "" : shownName.Narrow());
        return -1;
    }
    g_importedGrades.Clear();
    g_importedTanks.Clear();
    g_clientsInProgress.clear();

    // Read only: the import never writes the file, and a read must not create one.
    CINIFile ini(fileName, false);
    ini.SetKeepOpen(true);
    Importer importer(ini, *kestrum::ToolLibrary());

    int counters[kKinds] = {};
    const char* currentHeading = nullptr;
    CStr texts[kKinds];
    for (int k = 0; k < kKinds; ++k) texts[k].Assign(kRows[k].text);

    CStr name;
    for (int n = 1; ini.GetSectionName(n, name); ++n) {
        int32_t id = SectionID(name);
        if (id == 0) continue;
        for (int k = 0; k < kKinds; ++k) {
            if (name.Find(texts[k], 1) <= 0) continue;
            if (currentHeading != kRows[k].heading) {
                std::printf("%s", kRows[k].heading);
                currentHeading = kRows[k].heading;
            }
            bool imported = false;
            switch (Kind(k)) {
                case kPorts: imported = importer.Port(id); break;
                case kGrades: imported = importer.Grade(id); break;
                case kTanks: imported = importer.Tank(id); break;
                case kZigBees: imported = importer.ZigBee(id); break;
                case kPumps: imported = importer.Pump(id); break;
                case kSensors: imported = importer.Sensor(id); break;
                case kAttendants: imported = importer.Attendant(id, NoAttendants); break;
                case kProducts: imported = importer.Product(id, NoProducts); break;
                case kCards: imported = importer.CardClient(id, NoCardClients); break;
                case kKinds: break;
            }
            if (imported) ++counters[k];
            break;
        }
        std::printf(".");
    }

    for (const SummaryRow& row : kSummary) {
        int count = counters[row.kind];
        if (count <= 0) continue;
        std::printf(row.kind == kPorts ? "\n\n%3d %s imported successfully.\n" : "%3d %s imported successfully.\n",
                    count, count == 1 ? row.one : row.many);
    }
    std::printf("\nAll done.\n");
    return 0;
}
