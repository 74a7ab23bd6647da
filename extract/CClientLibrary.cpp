// The client-library binding and its call adapters.
#include "extract/CClientLibrary.h"

#include <cstring>

#include "common/CLog.h"
#include "platform/bstr.h"
#include "platform/paths.h"

using quendril::api::FunctionId;
using F = quendril::api::FunctionId;

namespace kestrum {

std::string LibraryPath() { return platform::TalvorneRoot() + "/libQuendril.so"; }

namespace {

// The binding order and the table agree: position i holds the function whose table entry says
// bind = i + 1, under its MT name (plain for the local functions).
constexpr bool BindingOrderMatchesTable() {
    for (size_t i = 0; i < quendril::api::kBindingCount; ++i) {
        const auto& info = quendril::api::Info(quendril::api::kBindingFunctions[i]);
        if (info.bind != int16_t(i + 1)) return false;
        std::string_view name = quendril::api::kBindingNames[i];
        std::string_view base = info.name;
        if (info.kind == quendril::api::Kind::kLocal) {
            if (name != base) return false;
        } else if (name.size() != base.size() + 2 || name.substr(0, base.size()) != base ||
                   name.substr(base.size()) != "MT") {
            return false;
        }
    }
    return true;
}
static_assert(BindingOrderMatchesTable());

template <class T>
inline void Default(T* address, T value) {
    if (address != nullptr) *address = value;
}

}  // namespace
}  // namespace kestrum

using kestrum::Default;

// ---- CBStrArg ----------------------------------------------------------------------------------

CBStrArg::~CBStrArg() {
    if (bstr_ != nullptr) {
        text_.Assign(bstr_, int(SysStringLen(bstr_)));
        SysFreeString(bstr_);
    } else {
        text_.Assign(u"", 0);
    }
}

BSTR CBStrArg::ToInput() {
    SysFreeString(bstr_);
    bstr_ = text_.ToBSTR();
    return bstr_;
}

BSTR* CBStrArg::ToInOut() {
    SysFreeString(bstr_);
    bstr_ = text_.ToBSTR();
    return &bstr_;
}

// ---- binding -----------------------------------------------------------------------------------

CClientLibrary::CClientLibrary(CLog& log, std::string path) : log_(log), path_(std::move(path)) {}

CClientLibrary::~CClientLibrary() {
    if (module_.IsLoaded()) module_.Free();
}

bool CClientLibrary::Load() {
    if (path_.empty()) path_ = kestrum::LibraryPath();
    if (!module_.Load(path_)) {
        log_.Write("Quendril [%s] not found/loaded!!", path_.c_str());
        return false;
    }
    log_.Write("Quendril [%s] loaded successfully", path_.c_str());
    for (size_t i = 0; i < quendril::api::kBindingCount; ++i) {
        const char* name = quendril::api::kBindingNames[i];
        slots_[i] = module_.Symbol(name);
        if (slots_[i] != nullptr) {
#ifndef KESTRUM_CE
            log_.WriteLevel(2, "Quendril DLL, function %s found", name);
#endif
        } else {
            log_.Write("Quendril DLL, function %s not found!!!", name);
        }
    }
    return true;
}

int32_t CClientLibrary::Logoff() {
    if (!Ready()) return 8;
    auto logoff = Entry<F::ClientLogoff>();
    if (logoff == nullptr) return 65;
    return logoff(&session_);
}

// ---- session -----------------------------------------------------------------------------------

int32_t CClientLibrary::Logon(int32_t ClientID, int16_t ClientType, const CStr& ClientName,
                              int16_t ClientCategory, const CStr& HashKey, int32_t EventMask,
                              const CStr& ServerName, uint16_t CallPortNo, uint16_t EventsPortNo,
                              int32_t CallTimeout, int32_t EventHandle, int64_t Window, int32_t Message) {
    auto internal = Entry<F::InternalClientLogon>();
    auto extended = Entry<F::ClientLogonEx>();
    if (!module_.IsLoaded() || (internal == nullptr && extended == nullptr)) return 65;
    // The holders copy back into these; the caller's values stay as they were.
    CStr server(ServerName);
    CBStrArg serverArg(server);
    if (internal != nullptr) {
        CStr name(ClientName);
        CStr key(HashKey);
        CBStrArg nameArg(name);
        CBStrArg keyArg(key);
        return internal(&session_, ClientID, ClientType, nameArg.ToInput(), ClientCategory, keyArg.ToInput(),
                        EventMask, serverArg.ToInput(), CallPortNo, EventsPortNo, CallTimeout, EventHandle,
                        Window, Message);
    }
    int32_t result = extended(&session_, ClientID, ClientType, serverArg.ToInput(), CallPortNo, EventsPortNo,
                              CallTimeout, EventHandle, Window, Message);
    if (result != 0) return result;
    result = SetClientType(kestrum::kLogonExClientKey);
    if (result != 0) return result;
    return SetClientType(EventMask);
}

int32_t CClientLibrary::SetClientType(int32_t ClientKey) {
    if (!Ready()) return 8;
    auto f = Entry<F::SetClientType>();
    if (f == nullptr) return 65;
    return f(session_, ClientKey);
}

// ---- versions and texts ------------------------------------------------------------------------

int32_t CClientLibrary::DllVersion(CStr& Version) {
    auto f = Entry<F::DllVersion>();
    if (!module_.IsLoaded() || f == nullptr) return 65;
    CBStrArg version(Version);
    return f(version.ToInOut());
}

int32_t CClientLibrary::ServerVersion(CStr& Version) {
    if (!Ready()) return 8;
    auto f = Entry<F::ServerVersion>();
    if (f == nullptr) return 65;
    CBStrArg version(Version);
    return f(session_, version.ToInOut());
}

int32_t CClientLibrary::ResultString(int32_t Code, CStr& Text) {
    auto f = Entry<F::ResultString>();
    if (!module_.IsLoaded() || f == nullptr) return 65;
    BSTR text = f(Code);
    if (text == nullptr) {
        Text.Clear();
    } else {
        Text.Assign(text, int(SysStringLen(text)));
    }
    SysFreeString(text);
    return 0;
}

// ---- counts and ordinal lookups ----------------------------------------------------------------

#define KESTRUM_COUNT_ADAPTER(Name)                                                              \
    int32_t CClientLibrary::Name(int32_t* pCount) {                                              \
        if (!Ready()) return 8;                                                                  \
        auto f = Entry<F::Name>();                                                               \
        if (f == nullptr) return 65;                                                             \
        return f(session_, pCount);                                                              \
    }
#define KESTRUM_ORDINAL_ADAPTER(Name)                                                            \
    int32_t CClientLibrary::Name(int32_t Index, int32_t* pID) {                                  \
        if (!Ready()) return 8;                                                                  \
        auto f = Entry<F::Name>();                                                               \
        if (f == nullptr) return 65;                                                             \
        return f(session_, Index, pID);                                                          \
    }

KESTRUM_COUNT_ADAPTER(GetCardClientsCount)
KESTRUM_COUNT_ADAPTER(GetAttendantsCount)
KESTRUM_COUNT_ADAPTER(GetGradesCount)
KESTRUM_COUNT_ADAPTER(GetTanksCount)
KESTRUM_COUNT_ADAPTER(GetPumpsCount)
KESTRUM_COUNT_ADAPTER(GetZigBeeCount)
KESTRUM_COUNT_ADAPTER(GetPortsCount)
KESTRUM_COUNT_ADAPTER(GetSensorsCount)
KESTRUM_ORDINAL_ADAPTER(GetCardClientByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetAttendantByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetGradeByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetTankByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetPumpByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetZigBeeByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetPortByOrdinal)
KESTRUM_ORDINAL_ADAPTER(GetSensorByOrdinal)
#undef KESTRUM_COUNT_ADAPTER
#undef KESTRUM_ORDINAL_ADAPTER

int32_t CClientLibrary::GetProductsCount(int32_t* pCount, int32_t Number, CStr& Name, CStr& ShortName,
                                         CStr& Tag, CStr& Barcode, int32_t ProductGroup) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetProductsCount>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), shortName(ShortName), tag(Tag), barcode(Barcode);
    return f(session_, pCount, Number, name.ToInput(), shortName.ToInput(), tag.ToInput(), barcode.ToInput(),
             ProductGroup);
}

int32_t CClientLibrary::GetProductByOrdinal(int32_t Index, int32_t* pID, int32_t Number, CStr& Name,
                                            CStr& ShortName, CStr& Tag, CStr& Barcode, int32_t ProductGroup) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetProductByOrdinal>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), shortName(ShortName), tag(Tag), barcode(Barcode);
    return f(session_, Index, pID, Number, name.ToInput(), shortName.ToInput(), tag.ToInput(),
             barcode.ToInput(), ProductGroup);
}

// ---- card clients ------------------------------------------------------------------------------

int32_t CClientLibrary::GetCardClientProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& Tag,
                                                int16_t* pEnabled, int16_t* pPriceLevel, CStr& Plate,
                                                CStr& IDNumber, CStr& ShortName, CStr& Password,
                                                int16_t* pGradeType, int16_t* pCardType, int16_t* pLimitType,
                                                double* pLimit, int16_t* pEntryType, DATE* pExpirationDate,
                                                int32_t* pParentID, CStr& SorvikSerialNo, double* pOdometer,
                                                int32_t* pFactor) {
    if (!Ready()) return 8;
    CBStrArg name(Name), tag(Tag), plate(Plate), idNumber(IDNumber), shortName(ShortName), password(Password),
        sorvik(SorvikSerialNo);
    if (auto f = Entry<F::GetCardClientPropertiesEx4>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, pPriceLevel, plate.ToInOut(),
                 idNumber.ToInOut(), shortName.ToInOut(), password.ToInOut(), pGradeType, pCardType, pLimitType,
                 pLimit, pEntryType, pExpirationDate, pParentID, sorvik.ToInOut(), pOdometer, pFactor);
    }
    // Older versions: what they do not deliver gets the defaults; SorvikSerialNo and the other
    // texts they do not take come back empty from their holders.
    Default(pOdometer, 0.0);
    Default(pFactor, int32_t(0));
    if (auto f = Entry<F::GetCardClientPropertiesEx3>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, pPriceLevel, plate.ToInOut(),
                 idNumber.ToInOut(), shortName.ToInOut(), password.ToInOut(), pGradeType, pCardType, pLimitType,
                 pLimit, pEntryType, pExpirationDate, pParentID);
    }
    if (auto f = Entry<F::GetCardClientPropertiesEx2>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, pPriceLevel, plate.ToInOut(),
                 pGradeType, pCardType, pLimitType, pLimit, pEntryType, pExpirationDate, pParentID);
    }
    Default(pGradeType, int16_t(1));
    Default(pCardType, int16_t(1));
    Default(pLimitType, int16_t(1));
    Default(pLimit, 0.0);
    Default(pEntryType, int16_t(1));
    Default(pExpirationDate, 0.0);
    Default(pParentID, int32_t(-1));
    if (auto f = Entry<F::GetCardClientPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, pPriceLevel, plate.ToInOut());
    }
    Default(pPriceLevel, int16_t(0));
    if (auto f = Entry<F::GetCardClientProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled);
    }
    return 65;
}

int32_t CClientLibrary::SetCardClientProperties(int32_t ID, int32_t Number, CStr& Name, CStr& Tag,
                                                int16_t Enabled, int16_t PriceLevel, CStr& Plate, CStr& IDNumber,
                                                CStr& ShortName, CStr& Password, int16_t GradeType,
                                                int16_t CardType, int16_t LimitType, double Limit,
                                                int16_t EntryType, DATE ExpirationDate, int32_t ParentID,
                                                CStr& SorvikSerialNo, double Odometer, int32_t Factor) {
    if (!Ready()) return 8;
    CBStrArg name(Name), tag(Tag), plate(Plate), idNumber(IDNumber), shortName(ShortName), password(Password),
        sorvik(SorvikSerialNo);
    if (auto f = Entry<F::SetCardClientPropertiesEx4>()) {
        return f(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, PriceLevel, plate.ToInput(),
                 idNumber.ToInput(), shortName.ToInput(), password.ToInput(), GradeType, CardType, LimitType,
                 Limit, EntryType, ExpirationDate, ParentID, sorvik.ToInput(), Odometer, Factor);
    }
    if (auto f = Entry<F::SetCardClientPropertiesEx3>()) {
        return f(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, PriceLevel, plate.ToInput(),
                 idNumber.ToInput(), shortName.ToInput(), password.ToInput(), GradeType, CardType, LimitType,
                 Limit, EntryType, ExpirationDate, ParentID);
    }
    if (auto f = Entry<F::SetCardClientPropertiesEx2>()) {
        return f(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, PriceLevel, plate.ToInput(),
                 GradeType, CardType, LimitType, Limit, EntryType, ExpirationDate, ParentID);
    }
    if (auto f = Entry<F::SetCardClientPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, PriceLevel, plate.ToInput());
    }
    return 65;
}

// ---- attendants --------------------------------------------------------------------------------

int32_t CClientLibrary::GetAttendantProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& ShortName,
                                               CStr& Password, CStr& Tag, CStr& IDNumber, int16_t* pShiftAStart,
                                               int16_t* pShiftAEnd, int16_t* pShiftBStart, int16_t* pShiftBEnd,
                                               int16_t* pType) {
    if (!Ready()) return 8;
    CBStrArg name(Name), shortName(ShortName), password(Password), tag(Tag), idNumber(IDNumber);
    if (auto f = Entry<F::GetAttendantPropertiesEx2>()) {
        return f(session_, ID, pNumber, name.ToInOut(), shortName.ToInOut(), password.ToInOut(), tag.ToInOut(),
                 idNumber.ToInOut(), pShiftAStart, pShiftAEnd, pShiftBStart, pShiftBEnd, pType);
    }
    if (auto f = Entry<F::GetAttendantPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), shortName.ToInOut(), password.ToInOut(), tag.ToInOut(),
                 pShiftAStart, pShiftAEnd, pShiftBStart, pShiftBEnd, pType);
    }
    Default(pShiftAStart, int16_t(0));
    Default(pShiftAEnd, int16_t(1439));
    Default(pShiftBStart, int16_t(0));
    Default(pShiftBEnd, int16_t(1439));
    Default(pType, int16_t(1));
    if (auto f = Entry<F::GetAttendantProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), shortName.ToInOut(), password.ToInOut(), tag.ToInOut());
    }
    return 65;
}

int32_t CClientLibrary::SetAttendantProperties(int32_t ID, int32_t Number, CStr& Name, CStr& ShortName,
                                               CStr& Password, CStr& Tag, CStr& IDNumber, int16_t ShiftAStart,
                                               int16_t ShiftAEnd, int16_t ShiftBStart, int16_t ShiftBEnd,
                                               int16_t Type) {
    if (!Ready()) return 8;
    CBStrArg name(Name), shortName(ShortName), password(Password), tag(Tag), idNumber(IDNumber);
    if (auto f = Entry<F::SetAttendantPropertiesEx2>()) {
        return f(session_, ID, Number, name.ToInput(), shortName.ToInput(), password.ToInput(), tag.ToInput(),
                 idNumber.ToInput(), ShiftAStart, ShiftAEnd, ShiftBStart, ShiftBEnd, Type);
    }
    if (auto f = Entry<F::SetAttendantPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), shortName.ToInput(), password.ToInput(), tag.ToInput(),
                 ShiftAStart, ShiftAEnd, ShiftBStart, ShiftBEnd, Type);
    }
    if (auto f = Entry<F::SetAttendantProperties>()) {
        return f(session_, ID, Number, name.ToInput(), shortName.ToInput(), password.ToInput(), tag.ToInput());
    }
    return 65;
}

// ---- products ----------------------------------------------------------------------------------

int32_t CClientLibrary::GetProductProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& Tag,
                                             int16_t* pEnabled, CStr& ShortName, CStr& Barcode, int32_t* pQuickCode,
                                             double* pPrice1, double* pPrice2, double* pPrice3, double* pPrice4,
                                             int32_t* pProductGroup, DATE* pAddedDT, DATE* pUpdatedDT) {
    if (!Ready()) return 8;
    CBStrArg name(Name), tag(Tag), shortName(ShortName), barcode(Barcode);
    if (auto f = Entry<F::GetProductPropertiesEx2>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, shortName.ToInOut(),
                 barcode.ToInOut(), pQuickCode, pPrice1, pPrice2, pPrice3, pPrice4, pProductGroup, pAddedDT,
                 pUpdatedDT);
    }
    Default(pAddedDT, 0.0);
    Default(pUpdatedDT, 0.0);
    if (auto f = Entry<F::GetProductPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, shortName.ToInOut(),
                 barcode.ToInOut(), pQuickCode, pPrice1, pPrice2, pPrice3, pPrice4, pProductGroup);
    }
    Default(pQuickCode, int32_t(0));
    Default(pPrice3, 0.0);
    Default(pPrice4, 0.0);
    if (auto f = Entry<F::GetProductProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), tag.ToInOut(), pEnabled, shortName.ToInOut(),
                 barcode.ToInOut(), pPrice1, pPrice2, pProductGroup);
    }
    return 65;
}

int32_t CClientLibrary::SetProductProperties(int32_t ID, int32_t Number, CStr& Name, CStr& Tag, int16_t Enabled,
                                             CStr& ShortName, CStr& Barcode, int32_t QuickCode, double Price1,
                                             double Price2, double Price3, double Price4, int32_t ProductGroup) {
    if (!Ready()) return 8;
    CBStrArg name(Name), tag(Tag), shortName(ShortName), barcode(Barcode);
    auto plain = Entry<F::SetProductProperties>();
    // The plain version decides whether products can be written at all.
    if (plain == nullptr) return 65;
    if (auto f = Entry<F::SetProductPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, shortName.ToInput(),
                 barcode.ToInput(), QuickCode, Price1, Price2, Price3, Price4, ProductGroup);
    }
    return plain(session_, ID, Number, name.ToInput(), tag.ToInput(), Enabled, shortName.ToInput(),
                 barcode.ToInput(), Price1, Price2, ProductGroup);
}

// ---- grades ------------------------------------------------------------------------------------

int32_t CClientLibrary::GetGradeProperties(int32_t ID, int32_t* pNumber, CStr& Name, CStr& ShortName, CStr& Code,
                                           int16_t* pType) {
    if (!Ready()) return 8;
    CBStrArg name(Name), shortName(ShortName), code(Code);
    if (auto f = Entry<F::GetGradePropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), shortName.ToInOut(), code.ToInOut(), pType);
    }
    Default(pType, int16_t(1));
    if (auto f = Entry<F::GetGradeProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), shortName.ToInOut(), code.ToInOut());
    }
    return 65;
}

int32_t CClientLibrary::SetGradeProperties(int32_t ID, int32_t Number, CStr& Name, CStr& ShortName, CStr& Code,
                                           int16_t Type) {
    if (!Ready()) return 8;
    CBStrArg name(Name), shortName(ShortName), code(Code);
    if (auto f = Entry<F::SetGradePropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), shortName.ToInput(), code.ToInput(), Type);
    }
    if (auto f = Entry<F::SetGradeProperties>()) {
        return f(session_, ID, Number, name.ToInput(), shortName.ToInput(), code.ToInput());
    }
    return 65;
}

int32_t CClientLibrary::GetGradePrice(int32_t ID, int16_t Level, double* pPrice) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetGradePrice>();
    if (f == nullptr) return 65;
    return f(session_, ID, Level, pPrice);
}

int32_t CClientLibrary::SetGradePrice(int32_t ID, int16_t Level, double Price) {
    if (!Ready()) return 8;
    auto f = Entry<F::SetGradePrice>();
    if (f == nullptr) return 65;
    return f(session_, ID, Level, Price);
}

// ---- tanks -------------------------------------------------------------------------------------

int32_t CClientLibrary::GetTankProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pGradeID,
                                          int16_t* pType, double* pCapacity, double* pDiameter, double* pTheoVolume,
                                          double* pGaugeVolume, double* pGaugeTCVolume, double* pGaugeUllage,
                                          double* pGaugeTemperature, double* pGaugeLevel, double* pGaugeWaterVolume,
                                          double* pGaugeWaterLevel, int32_t* pGaugeID, int16_t* pProbeNo,
                                          int32_t* pGaugeAlarmsMask, int32_t* pSlotZigBeeID, int16_t* pProbeType,
                                          int32_t* pProbeSerialNo, int32_t* pTankManifoldID) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::GetTankPropertiesEx3>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pGradeID, pType, pCapacity, pDiameter, pTheoVolume,
                 pGaugeVolume, pGaugeTCVolume, pGaugeUllage, pGaugeTemperature, pGaugeLevel, pGaugeWaterVolume,
                 pGaugeWaterLevel, pGaugeID, pProbeNo, pGaugeAlarmsMask, pSlotZigBeeID, pProbeType,
                 pProbeSerialNo, pTankManifoldID);
    }
    // TankManifoldID keeps the caller's value whenever Ex3 is missing.
    if (auto f = Entry<F::GetTankPropertiesEx2>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pGradeID, pType, pCapacity, pDiameter, pTheoVolume,
                 pGaugeVolume, pGaugeTCVolume, pGaugeUllage, pGaugeTemperature, pGaugeLevel, pGaugeWaterVolume,
                 pGaugeWaterLevel, pGaugeID, pProbeNo, pGaugeAlarmsMask, pSlotZigBeeID, pProbeType,
                 pProbeSerialNo);
    }
    Default(pSlotZigBeeID, int32_t(-1));
    Default(pProbeType, int16_t(-1));
    Default(pProbeSerialNo, int32_t(1));
    if (auto f = Entry<F::GetTankPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pGradeID, pType, pCapacity, pDiameter, pTheoVolume,
                 pGaugeVolume, pGaugeTCVolume, pGaugeUllage, pGaugeTemperature, pGaugeLevel, pGaugeWaterVolume,
                 pGaugeWaterLevel, pGaugeID, pProbeNo, pGaugeAlarmsMask);
    }
    Default(pGaugeAlarmsMask, int32_t(0));
    if (auto f = Entry<F::GetTankProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pGradeID, pType, pCapacity, pDiameter, pTheoVolume,
                 pGaugeVolume, pGaugeTCVolume, pGaugeUllage, pGaugeTemperature, pGaugeLevel, pGaugeWaterVolume,
                 pGaugeWaterLevel, pGaugeID, pProbeNo);
    }
    return 65;
}

int32_t CClientLibrary::SetTankProperties(int32_t ID, int32_t Number, CStr& Name, int32_t GradeID, int16_t Type,
                                          double Capacity, double Diameter, double TheoVolume, double GaugeVolume,
                                          double GaugeTCVolume, double GaugeUllage, double GaugeTemperature,
                                          double GaugeLevel, double GaugeWaterVolume, double GaugeWaterLevel,
                                          int32_t GaugeID, int16_t ProbeNo, int32_t GaugeAlarmsMask,
                                          int32_t SlotZigBeeID, int16_t ProbeType, int32_t ProbeSerialNo,
                                          int32_t TankManifoldID) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::SetTankPropertiesEx3>()) {
        return f(session_, ID, Number, name.ToInput(), GradeID, Type, Capacity, Diameter, TheoVolume, GaugeVolume,
                 GaugeTCVolume, GaugeUllage, GaugeTemperature, GaugeLevel, GaugeWaterVolume, GaugeWaterLevel,
                 GaugeID, ProbeNo, GaugeAlarmsMask, SlotZigBeeID, ProbeType, ProbeSerialNo, TankManifoldID);
    }
    if (auto f = Entry<F::SetTankPropertiesEx2>()) {
        return f(session_, ID, Number, name.ToInput(), GradeID, Type, Capacity, Diameter, TheoVolume, GaugeVolume,
                 GaugeTCVolume, GaugeUllage, GaugeTemperature, GaugeLevel, GaugeWaterVolume, GaugeWaterLevel,
                 GaugeID, ProbeNo, GaugeAlarmsMask, SlotZigBeeID, ProbeType, ProbeSerialNo);
    }
    if (auto f = Entry<F::SetTankPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), GradeID, Type, Capacity, Diameter, TheoVolume, GaugeVolume,
                 GaugeTCVolume, GaugeUllage, GaugeTemperature, GaugeLevel, GaugeWaterVolume, GaugeWaterLevel,
                 GaugeID, ProbeNo, GaugeAlarmsMask);
    }
    return 65;
}

// ---- pumps -------------------------------------------------------------------------------------

int32_t CClientLibrary::GetPumpProperties(int32_t ID, int32_t* pNumber, CStr& Name, int16_t* pPhysicalNumber,
                                          int16_t* pSide, int16_t* pAddress, int16_t* pPriceLevel1,
                                          int16_t* pPriceLevel2, int16_t* pPriceDspFormat, int16_t* pVolumeDspFormat,
                                          int16_t* pValueDspFormat, int16_t* pType, int32_t* pPortID,
                                          int32_t* pAttendantID, int16_t* pAuthMode, int16_t* pStackMode,
                                          int16_t* pPrepayAllowed, int16_t* pPreauthAllowed, int32_t* pSlotZigBeeID,
                                          int32_t* pMuxSlotZigBeeID, int16_t* pPriceControl, int16_t* pHasPreset) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::GetPumpPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pPhysicalNumber, pSide, pAddress, pPriceLevel1,
                 pPriceLevel2, pPriceDspFormat, pVolumeDspFormat, pValueDspFormat, pType, pPortID, pAttendantID,
                 pAuthMode, pStackMode, pPrepayAllowed, pPreauthAllowed, pSlotZigBeeID, pMuxSlotZigBeeID,
                 pPriceControl, pHasPreset);
    }
    Default(pSlotZigBeeID, int32_t(1));
    Default(pMuxSlotZigBeeID, int32_t(-1));
    Default(pPriceControl, int16_t(1));
    Default(pHasPreset, int16_t(1));
    if (auto f = Entry<F::GetPumpProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pPhysicalNumber, pSide, pAddress, pPriceLevel1,
                 pPriceLevel2, pPriceDspFormat, pVolumeDspFormat, pValueDspFormat, pType, pPortID, pAttendantID,
                 pAuthMode, pStackMode, pPrepayAllowed, pPreauthAllowed);
    }
    return 65;
}

int32_t CClientLibrary::SetPumpProperties(int32_t ID, int32_t Number, CStr& Name, int16_t PhysicalNumber,
                                          int16_t Side, int16_t Address, int16_t PriceLevel1, int16_t PriceLevel2,
                                          int16_t PriceDspFormat, int16_t VolumeDspFormat, int16_t ValueDspFormat,
                                          int16_t Type, int32_t PortID, int32_t AttendantID, int16_t AuthMode,
                                          int16_t StackMode, int16_t PrepayAllowed, int16_t PreauthAllowed,
                                          int32_t SlotZigBeeID, int32_t MuxSlotZigBeeID, int16_t PriceControl,
                                          int16_t HasPreset) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::SetPumpPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), PhysicalNumber, Side, Address, PriceLevel1, PriceLevel2,
                 PriceDspFormat, VolumeDspFormat, ValueDspFormat, Type, PortID, AttendantID, AuthMode, StackMode,
                 PrepayAllowed, PreauthAllowed, SlotZigBeeID, MuxSlotZigBeeID, PriceControl, HasPreset);
    }
    if (auto f = Entry<F::SetPumpProperties>()) {
        return f(session_, ID, Number, name.ToInput(), PhysicalNumber, Side, Address, PriceLevel1, PriceLevel2,
                 PriceDspFormat, VolumeDspFormat, ValueDspFormat, Type, PortID, AttendantID, AuthMode, StackMode,
                 PrepayAllowed, PreauthAllowed);
    }
    return 65;
}

int32_t CClientLibrary::GetPumpHosesCount(int32_t PumpID, int32_t* pCount) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetPumpHosesCount>();
    if (f == nullptr) return 65;
    return f(session_, PumpID, pCount);
}

int32_t CClientLibrary::GetPumpHoseByNumber(int32_t PumpID, int32_t Number, int32_t* pID) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetPumpHoseByNumber>();
    if (f == nullptr) return 65;
    return f(session_, PumpID, Number, pID);
}

// ---- hoses -------------------------------------------------------------------------------------

int32_t CClientLibrary::GetHoseProperties(int32_t ID, int32_t* pNumber, int32_t* pPumpID, int32_t* pTankID,
                                          int32_t* pPhysicalNumber, double* pMtrTheoValue, double* pMtrTheoVolume,
                                          double* pMtrElecValue, double* pMtrElecVolume, int16_t* pUVEAntenna,
                                          double* pPrice1, double* pPrice2, double* pPrice3, double* pPrice4,
                                          int16_t* pEnabled) {
    if (!Ready()) return 8;
    if (auto f = Entry<F::GetHosePropertiesEx3>()) {
        return f(session_, ID, pNumber, pPumpID, pTankID, pPhysicalNumber, pMtrTheoValue, pMtrTheoVolume,
                 pMtrElecValue, pMtrElecVolume, pUVEAntenna, pPrice1, pPrice2, pPrice3, pPrice4, pEnabled);
    }
    Default(pPrice3, 0.0);
    Default(pPrice4, 0.0);
    if (auto f = Entry<F::GetHosePropertiesEx2>()) {
        return f(session_, ID, pNumber, pPumpID, pTankID, pPhysicalNumber, pMtrTheoValue, pMtrTheoVolume,
                 pMtrElecValue, pMtrElecVolume, pUVEAntenna, pPrice1, pPrice2, pEnabled);
    }
    Default(pPrice1, 0.0);
    Default(pPrice2, 0.0);
    Default(pEnabled, int16_t(1));
    if (auto f = Entry<F::GetHosePropertiesEx>()) {
        return f(session_, ID, pNumber, pPumpID, pTankID, pPhysicalNumber, pMtrTheoValue, pMtrTheoVolume,
                 pMtrElecValue, pMtrElecVolume, pUVEAntenna);
    }
    return 65;
}

int32_t CClientLibrary::SetHoseProperties(int32_t ID, int32_t Number, int32_t PumpID, int32_t TankID,
                                          int32_t PhysicalNumber, double MtrTheoValue, double MtrTheoVolume,
                                          double MtrElecValue, double MtrElecVolume, int16_t UVEAntenna,
                                          double Price1, double Price2, double Price3, double Price4,
                                          int16_t Enabled) {
    if (!Ready()) return 8;
    if (auto f = Entry<F::SetHosePropertiesEx3>()) {
        return f(session_, ID, Number, PumpID, TankID, PhysicalNumber, MtrTheoValue, MtrTheoVolume, MtrElecValue,
                 MtrElecVolume, UVEAntenna, Price1, Price2, Price3, Price4, Enabled);
    }
    if (auto f = Entry<F::SetHosePropertiesEx2>()) {
        return f(session_, ID, Number, PumpID, TankID, PhysicalNumber, MtrTheoValue, MtrTheoVolume, MtrElecValue,
                 MtrElecVolume, UVEAntenna, Price1, Price2, Enabled);
    }
    if (auto f = Entry<F::SetHosePropertiesEx>()) {
        return f(session_, ID, Number, PumpID, TankID, PhysicalNumber, MtrTheoValue, MtrTheoVolume, MtrElecValue,
                 MtrElecVolume, UVEAntenna);
    }
    return 65;
}

// ---- sensors -----------------------------------------------------------------------------------

int32_t CClientLibrary::GetSensorProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pPortID,
                                            int16_t* pType, int16_t* pAddress, int16_t* pSensorNo,
                                            int32_t* pSlotZigBeeID, int32_t* pSensorSerialNo) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::GetSensorPropertiesEx>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pPortID, pType, pAddress, pSensorNo, pSlotZigBeeID,
                 pSensorSerialNo);
    }
    Default(pSlotZigBeeID, int32_t(-1));
    Default(pSensorSerialNo, int32_t(0));
    if (auto f = Entry<F::GetSensorProperties>()) {
        return f(session_, ID, pNumber, name.ToInOut(), pPortID, pType, pAddress, pSensorNo);
    }
    return 65;
}

int32_t CClientLibrary::SetSensorProperties(int32_t ID, int32_t Number, CStr& Name, int32_t PortID, int16_t Type,
                                            int16_t Address, int16_t SensorNo, int32_t SlotZigBeeID,
                                            int32_t SensorSerialNo) {
    if (!Ready()) return 8;
    CBStrArg name(Name);
    if (auto f = Entry<F::SetSensorPropertiesEx>()) {
        return f(session_, ID, Number, name.ToInput(), PortID, Type, Address, SensorNo, SlotZigBeeID,
                 SensorSerialNo);
    }
    if (auto f = Entry<F::SetSensorProperties>()) {
        return f(session_, ID, Number, name.ToInput(), PortID, Type, Address, SensorNo);
    }
    return 65;
}

// ---- ZigBee devices, ports, devices, network ---------------------------------------------------

int32_t CClientLibrary::GetZigBeeProperties(int32_t ID, int32_t* pNumber, CStr& Name, int16_t* pDeviceType,
                                            CStr& SerialNumber, CStr& NodeIdentifier, int32_t* pPortID) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetZigBeeProperties>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), serial(SerialNumber), node(NodeIdentifier);
    return f(session_, ID, pNumber, name.ToInOut(), pDeviceType, serial.ToInOut(), node.ToInOut(), pPortID);
}

int32_t CClientLibrary::SetZigBeeProperties(int32_t ID, int32_t Number, CStr& Name, int16_t DeviceType,
                                            CStr& SerialNumber, CStr& NodeIdentifier, int32_t PortID) {
    if (!Ready()) return 8;
    auto f = Entry<F::SetZigBeeProperties>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), serial(SerialNumber), node(NodeIdentifier);
    return f(session_, ID, Number, name.ToInput(), DeviceType, serial.ToInput(), node.ToInput(), PortID);
}

int32_t CClientLibrary::GetPortProperties(int32_t ID, int32_t* pNumber, CStr& Name, int32_t* pProtocolID,
                                          int16_t* pDeviceType, CStr& SerialNo) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetPortProperties>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), serial(SerialNo);
    return f(session_, ID, pNumber, name.ToInOut(), pProtocolID, pDeviceType, serial.ToInOut());
}

int32_t CClientLibrary::SetPortProperties(int32_t ID, int32_t Number, CStr& Name, int32_t ProtocolID,
                                          int16_t DeviceType, CStr& SerialNo) {
    if (!Ready()) return 8;
    auto f = Entry<F::SetPortProperties>();
    if (f == nullptr) return 65;
    CBStrArg name(Name), serial(SerialNo);
    return f(session_, ID, Number, name.ToInput(), ProtocolID, DeviceType, serial.ToInput());
}

int32_t CClientLibrary::GetZB2GConfig(int32_t ID, int64_t* pPanID, int32_t* pChannels, int64_t* pKeyA,
                                      int64_t* pKeyB) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetZB2GConfig>();
    if (f == nullptr) return 65;
    return f(session_, ID, pPanID, pChannels, pKeyA, pKeyB);
}

int32_t CClientLibrary::GetDeviceDetails(int32_t ID, int32_t ZBID, CStr& SerialNo, CStr& BootVersion,
                                         CStr& FirmwareVersion) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetDeviceDetails>();
    if (f == nullptr) return 65;
    CBStrArg serial(SerialNo), boot(BootVersion), firmware(FirmwareVersion);
    return f(session_, ID, ZBID, serial.ToInOut(), boot.ToInOut(), firmware.ToInOut());
}

int32_t CClientLibrary::GetTCPIPConfig(CStr& IPAddress, CStr& NetMask, CStr& Gateway, CStr& DNSServer,
                                       int16_t* pDHCP, CStr& NetworkName) {
    if (!Ready()) return 8;
    auto f = Entry<F::GetTCPIPConfig>();
    if (f == nullptr) return 65;
    CBStrArg ip(IPAddress), mask(NetMask), gateway(Gateway), dns(DNSServer), network(NetworkName);
    return f(session_, ip.ToInOut(), mask.ToInOut(), gateway.ToInOut(), dns.ToInOut(), pDHCP, network.ToInOut());
}
