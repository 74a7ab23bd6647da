// ExportConfiguration: the controller's configuration, kind by kind, into the INI file.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "common/CDate.h"
#include "common/CINIFile.h"
#include "extract/CClientLibrary.h"
#include "extract/Kestrum.h"
#include "platform/text.h"

namespace {

// Sequential writing of the keys of the selected section.
class SectionWriter {
public:
    explicit SectionWriter(CINIFile& ini) : ini_(ini) {}

    void Section(const char* format, int32_t id) {
        name_.Format(format, id);
        ini_.SetSection(name_);
    }
    void Section(const char* name) { ini_.SetSection(CStr(name)); }

    void Text(const char* key, const CStr& value) {
        key_.Assign(key);
        ini_.AppendString(key_, value);
    }
    void Fixed(const char* key, const char* value) {
        value_.Assign(value);
        Text(key, value_);
    }
    void Int(const char* key, int32_t value) { Format(key, "%d", value); }
    void Format(const char* key, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list args;
        va_start(args, format);
        value_.FormatV(format, args);
        va_end(args);
        Text(key, value_);
    }

private:
    CINIFile& ini_;
    CStr name_;
    CStr key_;
    CStr value_;
};

// " 11,15,20" for bits 11, 15 and 20 of the channel mask; bits outside 11..26 do not count.
CStr ChannelList(int32_t channels) {
    CStr list(u"");
    char separator = ' ';
    CStr item;
    for (int bit = 11; bit <= 26; ++bit) {
        if ((uint32_t(channels) >> bit) & 1u) {
            item.Format("%c%d", separator, bit);
            list.Append(item);
            separator = ',';
        }
    }
    return list;
}

// The device keys of a port or ZigBee device, when its details can be read.
void WriteDeviceDetails(CClientLibrary& library, SectionWriter& out, int32_t portID, int32_t zigBeeID) {
    CStr serialNo, bootVersion, firmwareVersion;
    if (ReportResult("GetDeviceDetails failed.",
                     library.GetDeviceDetails(portID, zigBeeID, serialNo, bootVersion, firmwareVersion))) {
        out.Text("CurrentSerialNo", serialNo);
        out.Text("BootVersion", bootVersion);
        out.Text("FirmwareVersion", firmwareVersion);
    }
}

void WriteFixedSections(SectionWriter& out, bool Company, bool GSC, bool IPT) {
    out.Section("Log");
    out.Fixed("Screen", "0");
    out.Fixed("File", "1");
    out.Fixed("Socket", "0");
    out.Section("Server");
    out.Fixed("Name", "<local>");
    out.Fixed("CallPort", "5123");
    out.Fixed("EventsPort", "5124");
    out.Fixed("CallTimeout", "10000");
    out.Section("Port");
    out.Fixed("Name", "COM2");
    out.Section("Protocol");
    out.Fixed("Name", Company ? "Company" : "PAM");
    out.Section("Company");
    out.Fixed("Baudrate", "9600");
    out.Fixed("DataBits", "8");
    out.Fixed("Parity", "N");
    out.Fixed("StopBits", "1");
    out.Section("Pam");
    out.Fixed("Baudrate", "4800");
    out.Fixed("DataBits", "7");
    out.Fixed("Parity", "O");
    out.Fixed("StopBits", "1");
    out.Fixed("PriceDspFormat", "1");
    out.Fixed("VolumeDspFormat", "10");
    out.Fixed("ValueDspFormat", "10");
    out.Fixed("PumpType", "4");
    if (GSC) {
        out.Section("GSC");
        out.Fixed("GSC", "Yes");
        out.Fixed("Name", "192.168.31.100");
        out.Fixed("CommandPort", "6001");
        out.Fixed("EventPort", "6003");
        out.Fixed("LogAll", "No");
        out.Fixed("AutoClear", "No");
    }
    if (IPT) {
        out.Section("IPT");
        out.Fixed("IPT", "Yes");
        out.Fixed("Terminal", "1");
        out.Fixed("Port", "COM1");
        out.Fixed("Baudrate", "9600");
        out.Fixed("DataBits", "8");
        out.Fixed("Parity", "N");
        out.Fixed("StopBits", "1");
    }
}

// Each kind's export: true when every call of the kind succeeded.

bool ExportPorts(CClientLibrary& library, SectionWriter& out, bool PAM) {
    int32_t count = 0;
    if (!ReportResult("GetPortsCount failed.", library.GetPortsCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, protocolID = -1, channels = 0;
        int16_t deviceType = 0;
        int64_t panID = 0, keyA = 0, keyB = 0;
        CStr name, serialNo;
        if (!ReportResult("GetPortByOrdinal failed.", library.GetPortByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetPortProperties failed.",
                          library.GetPortProperties(id, &number, name, &protocolID, &deviceType, serialNo))) {
            return false;
        }
        if (!ReportResult("GetZB2GConfig failed.", library.GetZB2GConfig(id, &panID, &channels, &keyA, &keyB))) {
            return false;
        }
        out.Section("Port%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Text("SerialNo", serialNo);
        out.Int("ProtocolID", protocolID);
        out.Int("DeviceType", deviceType);
        out.Format("PanID", "0x%04X", uint32_t(uint64_t(panID) & 0xFFFFFFFFu));
        out.Text("Channels", ChannelList(channels));
        out.Format("KeyA", "0x%016" PRIX64, uint64_t(keyA));
        out.Format("KeyB", "0x%016" PRIX64, uint64_t(keyB));
        WriteDeviceDetails(library, out, id, -1);
        if (PAM && id > 4) {
            out.Section("TankGauge%02d", id);
            out.Text("Port", name);
            out.Int("Protocol", protocolID);
        }
    }
    std::printf("\n%3d ports exported successfully.\n", count);
    return true;
}

bool ExportZigBees(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetZigBeeCount failed.", library.GetZigBeeCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, portID = -1;
        int16_t deviceType = 0;
        CStr name, serialNumber, nodeIdentifier;
        if (!ReportResult("GetZigBeeByOrdinal failed.", library.GetZigBeeByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetZigBeeProperties failed.",
                          library.GetZigBeeProperties(id, &number, name, &deviceType, serialNumber, nodeIdentifier,
                                                      &portID))) {
            return false;
        }
        out.Section("ZigBee%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Int("DeviceType", deviceType);
        out.Text("SerialNumber", serialNumber);
        out.Text("NodeIdentifier", nodeIdentifier);
        out.Int("PortID", portID);
        WriteDeviceDetails(library, out, portID, id);
    }
    if (count > 0) std::printf("\n%3d ZigBee devices exported successfully.\n", count);
    return true;
}

bool ExportGrades(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetGradesCount failed", library.GetGradesCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0;
        int16_t type = 0;
        CStr name, shortName, code;
        if (!ReportResult("GetGradeByOrdinal failed.", library.GetGradeByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetGradePropertiesEx failed.",
                          library.GetGradeProperties(id, &number, name, shortName, code, &type))) {
            return false;
        }
        out.Section("Grade%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Text("ShortName", shortName);
        out.Text("Code", code);
        out.Int("GradeType", type);
        for (int16_t level = 1; level <= 8; ++level) {
            double price = 0;
            if (!ReportResult("GetGradePrice failed.", library.GetGradePrice(id, level, &price))) return false;
            if (price != 0) {
                char key[16];
                std::snprintf(key, sizeof key, "Price%02d", level);
                out.Format(key, "%.3f", price);
            }
        }
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d grades exported successfully.\n", count);
    return true;
}

bool ExportTanks(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetTanksCount failed.", library.GetTanksCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, gradeID = -1, gaugeID = -1, gaugeAlarmsMask = 0, slotZigBeeID = -1;
        int32_t probeSerialNo = 0, tankManifoldID = -1;
        int16_t type = 0, probeNo = 0, probeType = 0;
        double capacity = 0, diameter = 0, theoVolume = 0, gaugeVolume = 0, gaugeTCVolume = 0, gaugeUllage = 0;
        double gaugeTemperature = 0, gaugeLevel = 0, gaugeWaterVolume = 0, gaugeWaterLevel = 0;
        CStr name;
        if (!ReportResult("GetTankByOrdinal failed.", library.GetTankByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetTankProperties failed.",
                          library.GetTankProperties(id, &number, name, &gradeID, &type, &capacity, &diameter,
                                                    &theoVolume, &gaugeVolume, &gaugeTCVolume, &gaugeUllage,
                                                    &gaugeTemperature, &gaugeLevel, &gaugeWaterVolume,
                                                    &gaugeWaterLevel, &gaugeID, &probeNo, &gaugeAlarmsMask,
                                                    &slotZigBeeID, &probeType, &probeSerialNo, &tankManifoldID))) {
            return false;
        }
        out.Section("Tank%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Int("Grade", gradeID);
        out.Int("Type", type);
        out.Format("Capacity", "%.3f", capacity);
        out.Format("Diameter", "%.3f", diameter);
        out.Int("TankGauge", gaugeID);
        out.Int("Probe", probeNo);
        out.Int("GaugeAlarmsMask", gaugeAlarmsMask);
        out.Int("SlotZigBeeID", slotZigBeeID);
        out.Int("ProbeType", probeType);
        out.Int("ProbeSerialNo", probeSerialNo);
        out.Int("TankManifoldID", tankManifoldID);
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Tanks exported successfully.\n", count);
    return true;
}

bool ExportHoses(CClientLibrary& library, SectionWriter& out, int32_t pumpID) {
    int32_t count = 0;
    if (!ReportResult("GetPumpHosesCount failed.", library.GetPumpHosesCount(pumpID, &count))) return false;
    for (int32_t position = 1; position <= count; ++position) {
        int32_t id = -1, number = 0, hosePumpID = -1, tankID = -1, physicalNumber = 0;
        double mtrTheoValue = 0, mtrTheoVolume = 0, mtrElecValue = 0, mtrElecVolume = 0;
        double price1 = 0, price2 = 0, price3 = 0, price4 = 0;
        int16_t uveAntenna = 0, enabled = 0;
        if (!ReportResult("GetPumpHoseByNumber failed.", library.GetPumpHoseByNumber(pumpID, position, &id))) {
            return false;
        }
        if (!ReportResult("GetHoseProperties failed.",
                          library.GetHoseProperties(id, &number, &hosePumpID, &tankID, &physicalNumber,
                                                    &mtrTheoValue, &mtrTheoVolume, &mtrElecValue, &mtrElecVolume,
                                                    &uveAntenna, &price1, &price2, &price3, &price4, &enabled))) {
            return false;
        }
        char key[40];
        auto keyOf = [&](const char* field) {
            std::snprintf(key, sizeof key, "Hose%d%s", number, field);
            return key;
        };
        out.Int(keyOf("ID"), id);
        out.Int(keyOf("Tank"), tankID);
        out.Int(keyOf("PhysicalNumber"), physicalNumber);
        out.Int(keyOf("Reader"), uveAntenna);
        const double prices[4] = {price1, price2, price3, price4};
        for (int i = 0; i < 4; ++i) {
            if (prices[i] > 0.1) {
                char field[8];
                std::snprintf(field, sizeof field, "Price%d", i + 1);
                out.Format(keyOf(field), "%0.3f", prices[i]);
            }
        }
        out.Int(keyOf("Enabled"), enabled);
    }
    return true;
}

bool ExportPumps(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetPumpsCount failed.", library.GetPumpsCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, portID = 0, attendantID = -1, slotZigBeeID = -1, muxSlotZigBeeID = -1;
        int16_t physicalNumber = 0, side = 0, address = 0, priceLevel1 = 0, priceLevel2 = 0;
        int16_t priceDspFormat = 0, volumeDspFormat = 0, valueDspFormat = 0, type = 0, authMode = 0;
        int16_t stackMode = 0, prepayAllowed = 0, preauthAllowed = 0, priceControl = 0, hasPreset = 0;
        CStr name;
        if (!ReportResult("GetPumpByOrdinal failed.", library.GetPumpByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetPumpProperties failed.",
                          library.GetPumpProperties(id, &number, name, &physicalNumber, &side, &address,
                                                    &priceLevel1, &priceLevel2, &priceDspFormat, &volumeDspFormat,
                                                    &valueDspFormat, &type, &portID, &attendantID, &authMode,
                                                    &stackMode, &prepayAllowed, &preauthAllowed, &slotZigBeeID,
                                                    &muxSlotZigBeeID, &priceControl, &hasPreset))) {
            return false;
        }
        out.Section("Pump%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Int("PhysicalNumber", physicalNumber);
        out.Int("Side", side);
        out.Int("Address", address);
        out.Int("Slot", slotZigBeeID);
        out.Int("PriceLevel1", priceLevel1);
        out.Int("PriceLevel2", priceLevel2);
        out.Int("PriceDspFormat", priceDspFormat);
        out.Int("VolumeDspFormat", volumeDspFormat);
        out.Int("ValueDspFormat", valueDspFormat);
        out.Int("PumpType", type);
        out.Int("PortID", portID);
        out.Int("AttendantID", attendantID);
        out.Int("AuthMode", authMode);
        out.Int("StackMode", stackMode);
        out.Int("PrepayAllowed", prepayAllowed);
        out.Int("PreauthAllowed", preauthAllowed);
        out.Int("MuxSlotZigBeeID", muxSlotZigBeeID);
        out.Int("PriceControl", priceControl);
        out.Int("HasPreset", hasPreset);
        if (!ExportHoses(library, out, id)) return false;
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Pumps exported successfully.\n", count);
    return true;
}

bool ExportSensors(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetSensorsCount failed.", library.GetSensorsCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, portID = -1, slotZigBeeID = -1, sensorSerialNo = 0;
        int16_t type = 0, address = 0, sensorNo = 0;
        CStr name;
        if (!ReportResult("GetSensorByOrdinal failed.", library.GetSensorByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetSensorProperties failed.",
                          library.GetSensorProperties(id, &number, name, &portID, &type, &address, &sensorNo,
                                                      &slotZigBeeID, &sensorSerialNo))) {
            return false;
        }
        out.Section("Sensor%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Int("PortID", portID);
        out.Int("Type", type);
        out.Int("Address", address);
        out.Int("SensorNo", sensorNo);
        out.Int("SlotZigBeeID", slotZigBeeID);
        out.Int("SensorSerialNo", sensorSerialNo);
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Sensors exported successfully.\n", count);
    return true;
}

bool ExportProducts(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    // The empty filter: every product.
    CStr name(u""), shortName(u""), tag(u""), barcode(u"");
    if (!ReportResult("GetProductsCount failed.",
                      library.GetProductsCount(&count, -1, name, shortName, tag, barcode, -1))) {
        return false;
    }
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, quickCode = 0, productGroup = 0;
        int16_t enabled = 0;
        double price1 = 0, price2 = 0, price3 = 0, price4 = 0;
        DATE addedDT = 0, updatedDT = 0;
        CStr filterName(u""), filterShortName(u""), filterTag(u""), filterBarcode(u"");
        if (!ReportResult("GetProductByOrdinal failed.",
                          library.GetProductByOrdinal(ordinal, &id, -1, filterName, filterShortName, filterTag,
                                                      filterBarcode, -1))) {
            return false;
        }
        CStr productName, productTag, productShortName, productBarcode;
        if (!ReportResult("GetProductProperties failed.",
                          library.GetProductProperties(id, &number, productName, productTag, &enabled,
                                                       productShortName, productBarcode, &quickCode, &price1,
                                                       &price2, &price3, &price4, &productGroup, &addedDT,
                                                       &updatedDT))) {
            return false;
        }
        out.Section("Product%03d", id);
        out.Int("Number", number);
        out.Text("Name", productName);
        out.Text("Tag", productTag);
        out.Int("Enabled", enabled);
        out.Text("ShortName", productShortName);
        out.Text("Barcode", productBarcode);
        out.Int("QuickCode", quickCode);
        out.Format("Price1", "%.3f", price1);
        out.Format("Price2", "%.3f", price2);
        out.Format("Price3", "%.3f", price3);
        out.Format("Price4", "%.3f", price4);
        out.Int("ProductGroup", productGroup);
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Products exported successfully.\n", count);
    return true;
}

bool ExportAttendants(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetAttendantsCount failed.", library.GetAttendantsCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0;
        int16_t shiftAStart = 0, shiftAEnd = 0, shiftBStart = 0, shiftBEnd = 0, type = 0;
        CStr name, shortName, password, tag, idNumber;
        if (!ReportResult("GetAttendantByOrdinal failed.", library.GetAttendantByOrdinal(ordinal, &id))) {
            return false;
        }
        if (!ReportResult("GetAttendantProperties failed.",
                          library.GetAttendantProperties(id, &number, name, shortName, password, tag, idNumber,
                                                         &shiftAStart, &shiftAEnd, &shiftBStart, &shiftBEnd,
                                                         &type))) {
            return false;
        }
        out.Section("Attendant%02d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Text("ShortName", shortName);
        out.Text("Password", password);
        out.Text("Tag", tag);
        out.Text("IDNumber", idNumber);
        out.Int("ShiftAStart", shiftAStart);
        out.Int("ShiftAEnd", shiftAEnd);
        out.Int("ShiftBStart", shiftBStart);
        out.Int("ShiftBEnd", shiftBEnd);
        out.Int("Enabled", type);
        out.Int("Type", type);
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Attendants exported successfully.\n", count);
    return true;
}

bool ExportCardClients(CClientLibrary& library, SectionWriter& out) {
    int32_t count = 0;
    if (!ReportResult("GetCardClientsCount failed.", library.GetCardClientsCount(&count))) return false;
    for (int32_t ordinal = 1; ordinal <= count && !kestrum::VersionOnly; ++ordinal) {
        std::printf(".");
        int32_t id = -1, number = 0, parentID = -1, factor = 0;
        int16_t enabled = 0, priceLevel = 0, gradeType = 0, cardType = 0, limitType = 0, entryType = 0;
        double limit = 0, odometer = 0;
        DATE expirationDate = 0;
        CStr name, tag, plate, idNumber, shortName, password, sorvikSerialNo;
        if (!ReportResult("GetCardClient failed.", library.GetCardClientByOrdinal(ordinal, &id))) return false;
        if (!ReportResult("GetCardClientProperties failed.",
                          library.GetCardClientProperties(id, &number, name, tag, &enabled, &priceLevel, plate,
                                                          idNumber, shortName, password, &gradeType, &cardType,
                                                          &limitType, &limit, &entryType, &expirationDate,
                                                          &parentID, sorvikSerialNo, &odometer, &factor))) {
            return false;
        }
        out.Section("Client%03d", id);
        out.Int("Number", number);
        out.Text("Name", name);
        out.Text("Tag", tag);
        out.Int("Enabled", enabled);
        out.Int("PriceLevel", priceLevel);
        out.Text("Plate", plate);
        out.Text("IDNumber", idNumber);
        out.Text("ShortName", shortName);
        out.Text("Password", password);
        out.Int("GradeType", gradeType);
        out.Int("CardType", cardType);
        out.Int("LimitType", limitType);
        out.Format("LimitValue", "%.3f", limit);
        out.Int("EntryType", entryType);
        out.Format("ExpirationDate", "%.5f", expirationDate);
        out.Int("ParentID", parentID);
        out.Text("SorvikSerialNo", sorvikSerialNo);
        out.Format("Odometer", "%.1f", odometer);
        out.Int("Factor", factor);
    }
    if (!kestrum::VersionOnly && count > 0) std::printf("\n%3d Clients exported successfully.\n", count);
    return true;
}

}  // namespace

int ExportConfiguration(const CStr& fileName, bool PAM, bool Company, bool GSC, bool IPT, bool NoProducts,
                        bool NoAttendants, bool NoCardClients) {
    CClientLibrary& library = *kestrum::ToolLibrary();
    std::remove(platform::ToUtf8(fileName.Wide(), size_t(fileName.Length())).c_str());

    CINIFile ini(fileName, true);
    SectionWriter out(ini);
    out.Section("Application");
    out.Fixed("Name", "Wyrlan service configuration");
    out.Fixed("IniVersion", kestrum::kVersion);
    CDate now;
    now.SetNow();
    out.Fixed("DateGenerated", now.FormatStatic(nullptr, nullptr));

    CStr clientVersion;
    if (!ReportResult("DllVersion failed.", library.DllVersion(clientVersion))) return -1;
    out.Text("ClientVersion", clientVersion);
    CStr serverVersion;
    if (!ReportResult("ServerVersion failed.", library.ServerVersion(serverVersion))) return -1;
    out.Text("ServerVersion", serverVersion);

    CStr ipAddress, netMask, gateway, dnsServer, networkName;
    int16_t dhcp = 0;
    if (library.GetTCPIPConfig(ipAddress, netMask, gateway, dnsServer, &dhcp, networkName) == 0) {
        out.Text("IPAddress", ipAddress);
        out.Text("NetMask", netMask);
        out.Text("Gateway", gateway);
        out.Text("DNSServer", dnsServer);
        out.Fixed("DHCP", dhcp != 0 ? "Yes" : "No");
        out.Text("NetworkName", networkName);
    }

    if (PAM || Company || GSC || IPT) WriteFixedSections(out, Company, GSC, IPT);

    if (!ExportPorts(library, out, PAM)) return -1;
    if (!ExportZigBees(library, out)) return -1;
    if (!ExportGrades(library, out)) return -1;
    if (!ExportTanks(library, out)) return -1;
    if (!ExportPumps(library, out)) return -1;
    if (!ExportSensors(library, out)) return -1;
    if (!NoProducts && !ExportProducts(library, out)) return -1;
    if (!NoAttendants && !ExportAttendants(library, out)) return -1;
    if (!NoCardClients && !ExportCardClients(library, out)) return -1;

    std::printf("\nAll done.\n");
    return 0;
}
