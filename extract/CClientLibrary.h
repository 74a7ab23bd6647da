// CClientLibrary: the tool's run-time binding of the client library libQuendril.so, and the call
// adapters through which the export, the import and the entry reach it.
//
// The binding holds one entry-point slot per name of the binding order (quendril/api/
// binding_order.h: 205 names, <Name>MT, DllVersion and ResultString plain), each typed from the
// function table's MT signature (the plain one for DllVersion and ResultString). Load() fills the
// slots once; a missing library or entry point is only logged and shows up as result 8 or 65 at
// the first call that needs it.
//
// Adapter results, unless an adapter says otherwise:
//   8   no library loaded or no session (session handle 0): nothing is called, text arguments
//       are left as they are;
//   65  none of the entry points the adapter may use is exported;
//   any other value is the library's own result, unchanged.
// Adapters with several versions try them newest first; the fields an older version does not
// deliver get fixed defaults, written before the call through non-null addresses only. Text
// arguments (CStr&) pass through a CBStrArg: after the call they hold the text the library left
// in the BSTR, so on 65 (or for a version that does not take them) they end up empty.
//
// Single-threaded: one object used from the tool's only thread. The adapters write nothing to
// the log; callers report non-zero results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>

#include "common/CStr.h"
#include "platform/module.h"
#include "platform/wintypes.h"
#include "quendril/api/binding_order.h"

class CLog;

namespace kestrum {

// The client key the tool sends with SetClientType after its internal-client logon ("KEST").
inline constexpr int32_t kClientKey = 0x4B455354;
// The client key the logon's ClientLogonExMT path sends first ("KESX"); the second SetClientType
// of that path sends the logon's EventMask.
inline constexpr int32_t kLogonExClientKey = 0x4B455358;

namespace entry {

using quendril::api::FunctionId;

// The pointer type of a function's MT twin: session handle (or its address) first.
template <FunctionId Id> struct MTPointer { using type = void; };
#define KESTRUM_MT_POINTER(Name, Kind, Ret, Session, CParams, CArgs)                             \
    template <> struct MTPointer<FunctionId::Name> {                                             \
        using type = Ret (*)(QUENDRIL_PREPEND(Session, CParams));                                \
    };
QUENDRIL_MT_FUNCTIONS(KESTRUM_MT_POINTER)
#undef KESTRUM_MT_POINTER

// The pointer type of the plain function (used for the local ones, which have no MT twin).
template <FunctionId Id> struct PlainPointer { using type = void; };
#define KESTRUM_PLAIN_POINTER(Name, Kind, Ret, Session, CParams, CArgs)                          \
    template <> struct PlainPointer<FunctionId::Name> { using type = Ret(*) CParams; };
QUENDRIL_FUNCTIONS(KESTRUM_PLAIN_POINTER)
#undef KESTRUM_PLAIN_POINTER

// The type of the slot that the binding keeps for a function.
template <FunctionId Id>
using Pointer = typename std::conditional_t<quendril::api::Info(Id).kind == quendril::api::Kind::kLocal,
                                            PlainPointer<Id>, MTPointer<Id>>::type;

// The slot index (0-based binding position) of a function the tool binds.
template <FunctionId Id>
constexpr size_t Slot() {
    static_assert(quendril::api::Info(Id).bind > 0, "the tool does not bind this function");
    return size_t(quendril::api::Info(Id).bind - 1);
}

}  // namespace entry

// The library's path: $TALVORNE_ROOT/libQuendril.so (the CE build: the same file, its own root).
std::string LibraryPath();

}  // namespace kestrum

// Holds one text argument for the length of one call. On destruction the CStr receives the text
// of the BSTR held (which is then freed), or the empty text when none was made.
class CBStrArg {
public:
    explicit CBStrArg(CStr& text) : text_(text) {}
    ~CBStrArg();
    CBStrArg(const CBStrArg&) = delete;
    CBStrArg& operator=(const CBStrArg&) = delete;

    // A BSTR of the CStr's text, kept here; passed by value as input text.
    BSTR ToInput();
    // Frees the BSTR held, makes a new one of the CStr's current text and returns its address:
    // the library gets a variable that already holds the old text and may replace it.
    BSTR* ToInOut();

private:
    CStr& text_;
    BSTR bstr_ = nullptr;
};

class CClientLibrary {
public:
    // Every slot empty, no library, session 0. The log is not owned. path: the library to load
    // (empty: kestrum::LibraryPath() at Load() time).
    explicit CClientLibrary(CLog& log, std::string path = {});
    // Unloads the library when one is loaded; does not log off.
    ~CClientLibrary();
    CClientLibrary(const CClientLibrary&) = delete;
    CClientLibrary& operator=(const CClientLibrary&) = delete;

    // Loads the library and fills every slot in binding order, logging the outcome: true when the
    // library was loaded (whatever was found), false when it was not (all slots stay empty).
    bool Load();
    // 8 without library or session, 65 without ClientLogoffMT, else its result (the library sets
    // the session handle to 0).
    int32_t Logoff();

    bool IsLoaded() const { return module_.IsLoaded(); }
    int32_t SessionHandle() const { return session_; }
    // Test seam: adapters check only that the handle is not 0.
    void SetSessionHandle(int32_t handle) { session_ = handle; }
    const std::string& Path() const { return path_; }

    // The slot of a bound function, typed; null when the library does not export it.
    template <quendril::api::FunctionId Id>
    kestrum::entry::Pointer<Id> Entry() const {
        return reinterpret_cast<kestrum::entry::Pointer<Id>>(slots_[kestrum::entry::Slot<Id>()]);
    }
    // The slot at a 0-based binding position, untyped (tests, diagnostics).
    void* SlotAt(size_t index) const { return index < slots_.size() ? slots_[index] : nullptr; }

    // ---- session ----
    // InternalClientLogonMT when exported (its result, no retry with the other entry point);
    // else ClientLogonExMT, then on 0 SetClientType(kLogonExClientKey), then on 0
    // SetClientType(EventMask): the first non-zero result or 0. 65 without library or without
    // both entry points; the session handle is not looked at.
    int32_t Logon(int32_t ClientID, int16_t ClientType, const CStr& ClientName, int16_t ClientCategory,
                  const CStr& HashKey, int32_t EventMask, const CStr& ServerName, uint16_t CallPortNo,
                  uint16_t EventsPortNo, int32_t CallTimeout, int32_t EventHandle, int64_t Window,
                  int32_t Message);
    int32_t SetClientType(int32_t ClientKey);

    // ---- versions and texts ----
    // No session needed: 65 when the library or the entry point is missing.
    int32_t DllVersion(CStr& Version);
    int32_t ServerVersion(CStr& Version);
    // 65 when the library or ResultString is missing (Text unchanged); else Text gets the returned
    // text (null for a null result), the BSTR is freed and the result is 0.
    int32_t ResultString(int32_t Code, CStr& Text);

    // ---- counts and ordinal lookups ----
    int32_t GetCardClientsCount(int32_t* pCount);
    int32_t GetAttendantsCount(int32_t* pCount);
    int32_t GetGradesCount(int32_t* pCount);
    int32_t GetTanksCount(int32_t* pCount);
    int32_t GetPumpsCount(int32_t* pCount);
    int32_t GetZigBeeCount(int32_t* pCount);
    int32_t GetPortsCount(int32_t* pCount);
    int32_t GetSensorsCount(int32_t* pCount);
    int32_t GetCardClientByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetAttendantByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetGradeByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetTankByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetPumpByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetZigBeeByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetPortByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetSensorByOrdinal(int32_t Index, int32_t* pID);
    int32_t GetProductsCount(int32_t* pCount, int32_t Number, CStr& Name, CStr& ShortName, CStr& Tag,
                             CStr& Barcode, int32_t ProductGroup);
    int32_t GetProductByOrdinal(int32_t Index, int32_t* pID, int32_t Number, CStr& Name, CStr& ShortName,
                                CStr& Tag, CStr& Barcode, int32_t ProductGroup);

    // ---- card clients: Ex4, Ex3, Ex2, Ex, plain ----
    int32_t GetCardClientProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& Tag, int16_t* pEnabled,
                                    int16_t* pPriceLevel, CStr& Plate, CStr& IDNumber, CStr& ShortName,
                                    CStr& Password, int16_t* pGradeType, int16_t* pCardType,
                                    int16_t* pLimitType, double* pLimit, int16_t* pEntryType,
                                    DATE* pExpirationDate, int32_t* pParentID, CStr& SorvikSerialNo,
                                    double* pOdometer, int32_t* pFactor);
    int32_t SetCardClientProperties(int32_t ID, int32_t Number, CStr& Name, CStr& Tag, int16_t Enabled,
                                    int16_t PriceLevel, CStr& Plate, CStr& IDNumber, CStr& ShortName,
                                    CStr& Password, int16_t GradeType, int16_t CardType, int16_t LimitType,
                                    double Limit, int16_t EntryType, DATE ExpirationDate, int32_t ParentID,
                                    CStr& SorvikSerialNo, double Odometer, int32_t Factor);

    // ---- attendants: Ex2, Ex, plain ----
    int32_t GetAttendantProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& ShortName, CStr& Password,
                                   CStr& Tag, CStr& IDNumber, int16_t* pShiftAStart, int16_t* pShiftAEnd,
                                   int16_t* pShiftBStart, int16_t* pShiftBEnd, int16_t* pType);
    int32_t SetAttendantProperties(int32_t ID, int32_t Number, CStr& Name, CStr& ShortName, CStr& Password,
                                   CStr& Tag, CStr& IDNumber, int16_t ShiftAStart, int16_t ShiftAEnd,
                                   int16_t ShiftBStart, int16_t ShiftBEnd, int16_t Type);

    // ---- products: Ex2, Ex, plain (setter: plain required, then Ex, else plain) ----
    int32_t GetProductProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& Tag, int16_t* pEnabled,
                                 CStr& ShortName, CStr& Barcode, int32_t* pQuickCode, double* pPrice1,
                                 double* pPrice2, double* pPrice3, double* pPrice4, int32_t* pProductGroup,
                                 DATE* pAddedDT, DATE* pUpdatedDT);
    int32_t SetProductProperties(int32_t ID, int32_t Number, CStr& Name, CStr& Tag, int16_t Enabled,
                                 CStr& ShortName, CStr& Barcode, int32_t QuickCode, double Price1,
                                 double Price2, double Price3, double Price4, int32_t ProductGroup);

    // ---- grades: Ex, plain; prices single ----
    int32_t GetGradeProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& ShortName, CStr& Code,
                               int16_t* pType);
    int32_t SetGradeProperties(int32_t ID, int32_t Number, CStr& Name, CStr& ShortName, CStr& Code,
                               int16_t Type);
    int32_t GetGradePrice(int32_t ID, int16_t Level, double* pPrice);
    int32_t SetGradePrice(int32_t ID, int16_t Level, double Price);

    // ---- tanks: Ex3, Ex2, Ex, plain (setter Ex3, Ex2, Ex) ----
    int32_t GetTankProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pGradeID, int16_t* pType,
                              double* pCapacity, double* pDiameter, double* pTheoVolume, double* pGaugeVolume,
                              double* pGaugeTCVolume, double* pGaugeUllage, double* pGaugeTemperature,
                              double* pGaugeLevel, double* pGaugeWaterVolume, double* pGaugeWaterLevel,
                              int32_t* pGaugeID, int16_t* pProbeNo, int32_t* pGaugeAlarmsMask,
                              int32_t* pSlotZigBeeID, int16_t* pProbeType, int32_t* pProbeSerialNo,
                              int32_t* pTankManifoldID);
    int32_t SetTankProperties(int32_t ID, int32_t Number, CStr& Name, int32_t GradeID, int16_t Type,
                              double Capacity, double Diameter, double TheoVolume, double GaugeVolume,
                              double GaugeTCVolume, double GaugeUllage, double GaugeTemperature,
                              double GaugeLevel, double GaugeWaterVolume, double GaugeWaterLevel,
                              int32_t GaugeID, int16_t ProbeNo, int32_t GaugeAlarmsMask, int32_t SlotZigBeeID,
                              int16_t ProbeType, int32_t ProbeSerialNo, int32_t TankManifoldID);

    // ---- pumps: Ex, plain; hoses of a pump single ----
    int32_t GetPumpProperties(int32_t ID, int32_t* pNumber, CStr& Name, int16_t* pPhysicalNumber,
                              int16_t* pSide, int16_t* pAddress, int16_t* pPriceLevel1, int16_t* pPriceLevel2,
                              int16_t* pPriceDspFormat, int16_t* pVolumeDspFormat, int16_t* pValueDspFormat,
                              int16_t* pType, int32_t* pPortID, int32_t* pAttendantID, int16_t* pAuthMode,
                              int16_t* pStackMode, int16_t* pPrepayAllowed, int16_t* pPreauthAllowed,
                              int32_t* pSlotZigBeeID, int32_t* pMuxSlotZigBeeID, int16_t* pPriceControl,
                              int16_t* pHasPreset);
    int32_t SetPumpProperties(int32_t ID, int32_t Number, CStr& Name, int16_t PhysicalNumber, int16_t Side,
                              int16_t Address, int16_t PriceLevel1, int16_t PriceLevel2, int16_t PriceDspFormat,
                              int16_t VolumeDspFormat, int16_t ValueDspFormat, int16_t Type, int32_t PortID,
                              int32_t AttendantID, int16_t AuthMode, int16_t StackMode, int16_t PrepayAllowed,
                              int16_t PreauthAllowed, int32_t SlotZigBeeID, int32_t MuxSlotZigBeeID,
                              int16_t PriceControl, int16_t HasPreset);
    int32_t GetPumpHosesCount(int32_t PumpID, int32_t* pCount);
    int32_t GetPumpHoseByNumber(int32_t PumpID, int32_t Number, int32_t* pID);

    // ---- hoses: Ex3, Ex2, Ex ----
    int32_t GetHoseProperties(int32_t ID, int32_t* pNumber, int32_t* pPumpID, int32_t* pTankID,
                              int32_t* pPhysicalNumber, double* pMtrTheoValue, double* pMtrTheoVolume,
                              double* pMtrElecValue, double* pMtrElecVolume, int16_t* pUVEAntenna,
                              double* pPrice1, double* pPrice2, double* pPrice3, double* pPrice4,
                              int16_t* pEnabled);
    int32_t SetHoseProperties(int32_t ID, int32_t Number, int32_t PumpID, int32_t TankID, int32_t PhysicalNumber,
                              double MtrTheoValue, double MtrTheoVolume, double MtrElecValue,
                              double MtrElecVolume, int16_t UVEAntenna, double Price1, double Price2,
                              double Price3, double Price4, int16_t Enabled);

    // ---- sensors: Ex, plain ----
    int32_t GetSensorProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pPortID, int16_t* pType,
                                int16_t* pAddress, int16_t* pSensorNo, int32_t* pSlotZigBeeID,
                                int32_t* pSensorSerialNo);
    int32_t SetSensorProperties(int32_t ID, int32_t Number, CStr& Name, int32_t PortID, int16_t Type,
                                int16_t Address, int16_t SensorNo, int32_t SlotZigBeeID, int32_t SensorSerialNo);

    // ---- ZigBee devices, ports, devices, network: single versions ----
    int32_t GetZigBeeProperties(int32_t ID, int32_t* pNumber, CStr& Name, int16_t* pDeviceType,
                                CStr& SerialNumber, CStr& NodeIdentifier, int32_t* pPortID);
    int32_t SetZigBeeProperties(int32_t ID, int32_t Number, CStr& Name, int16_t DeviceType, CStr& SerialNumber,
                                CStr& NodeIdentifier, int32_t PortID);
    int32_t GetPortProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pProtocolID,
                              int16_t* pDeviceType, CStr& SerialNo);
    int32_t SetPortProperties(int32_t ID, int32_t Number, CStr& Name, int32_t ProtocolID, int16_t DeviceType,
                              CStr& SerialNo);
    int32_t GetZB2GConfig(int32_t ID, int64_t* pPanID, int32_t* pChannels, int64_t* pKeyA, int64_t* pKeyB);
    int32_t GetDeviceDetails(int32_t ID, int32_t ZBID, CStr& SerialNo, CStr& BootVersion,
                             CStr& FirmwareVersion);
    int32_t GetTCPIPConfig(CStr& IPAddress, CStr& NetMask, CStr& Gateway, CStr& DNSServer, int16_t* pDHCP,
                           CStr& NetworkName);

private:
    // A library is loaded and a session is held.
    bool Ready() const { return module_.IsLoaded() && session_ != 0; }

    platform::Module module_;
    std::array<void*, quendril::api::kBindingCount> slots_{};
    CLog& log_;
    int32_t session_ = 0;
    std::string path_;
};
