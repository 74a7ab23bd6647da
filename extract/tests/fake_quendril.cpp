// Stand-ins for libQuendril.so that export only some entry points, built once per FAKE_* flavour:
//
//   FAKE_EMPTY       nothing of the binding order
//   FAKE_CARD_PLAIN  only GetCardClientPropertiesMT
//   FAKE_LOGON_EX    only ClientLogonExMT and SetClientTypeMT
//   FAKE_OLD         the oldest getters of each family, SetProductPropertiesExMT without the plain
//                    setter, DllVersion and a ResultString that returns null
//   FAKE_RECORDER    a controller that takes every write: InternalClientLogonMT, SetClientTypeMT,
//                    ResultString, ClientLogoffMT and the newest setters
//
// Every call is appended to a trace that tests read through FakeTrace(); FakeFail(name, code)
// makes the named entry point return that code.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/bstr.h"
#include "platform/text.h"
#include "quendril/include/quendril.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string g_trace;
std::map<std::string, int32_t> g_failures;

std::string Text(BSTR text) { return text == nullptr ? "(null)" : platform::ToUtf8(text, SysStringLen(text)); }

void Put(BSTR* out, const char16_t* text) {
    SysFreeString(*out);
    *out = SysAllocString(text);
}

// Appends "name(args)\n" to the trace; the result the entry point is to return.
int32_t Call(const char* name, const std::string& args = {}) {
    g_trace += name;
    g_trace += "(" + args + ")\n";
    auto it = g_failures.find(name);
    return it == g_failures.end() ? 0 : it->second;
}

std::string Num(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}
std::string Num(int64_t value) { return std::to_string(value); }
template <class... T>
std::string Args(const T&... values) {
    std::string out;
    ((out += (out.empty() ? "" : ","), out += values), ...);
    return out;
}
}  // namespace

FAKE_EXPORT const char* FakeTrace() { return g_trace.c_str(); }
FAKE_EXPORT void FakeReset() {
    g_trace.clear();
    g_failures.clear();
}
FAKE_EXPORT void FakeFail(const char* name, int32_t code) { g_failures[name] = code; }

#if defined(FAKE_EMPTY)
FAKE_EXPORT int32_t FakeNothingBound() { return 0; }
#endif

#if defined(FAKE_CARD_PLAIN)
int32_t GetCardClientPropertiesMT(int32_t, int32_t ID, int32_t* pNumber, BSTR* pName, BSTR* pTag,
                                  int16_t* pEnabled) {
    *pNumber = ID * 10;
    Put(pName, u"Fleet");
    Put(pTag, u"T1");
    *pEnabled = 1;
    return Call("GetCardClientPropertiesMT");
}
#endif

#if defined(FAKE_LOGON_EX)
int32_t ClientLogonExMT(int32_t* pSessionHandle, int32_t ClientID, int16_t ClientType, BSTR ServerName,
                        uint16_t CallPortNo, uint16_t EventsPortNo, int32_t CallTimeout, int32_t, int64_t,
                        int32_t MessageNo) {
    int32_t result = Call("ClientLogonExMT", Args(Num(int64_t(ClientID)), Num(int64_t(ClientType)), Text(ServerName),
                                                  Num(int64_t(CallPortNo)), Num(int64_t(EventsPortNo)),
                                                  Num(int64_t(CallTimeout)), Num(int64_t(MessageNo))));
    if (result == 0) *pSessionHandle = 42;
    return result;
}
#endif

#if defined(FAKE_LOGON_EX) || defined(FAKE_RECORDER)
int32_t SetClientTypeMT(int32_t session, int32_t ClientKey) {
    return Call("SetClientTypeMT", Args(Num(int64_t(session)), Num(int64_t(ClientKey))));
}
#endif

#if defined(FAKE_OLD)
int32_t DllVersion(BSTR* pVersionStr) {
    Put(pVersionStr, u"old 1.0");
    return Call("DllVersion");
}
BSTR ResultString(int32_t) {
    Call("ResultString");
    return nullptr;
}
int32_t GetAttendantPropertiesMT(int32_t, int32_t, int32_t* pNumber, BSTR* pName, BSTR* pShortName,
                                 BSTR* pPassword, BSTR* pTag) {
    *pNumber = 3;
    Put(pName, u"Ann");
    Put(pShortName, u"A");
    Put(pPassword, u"pw");
    Put(pTag, u"tag");
    return Call("GetAttendantPropertiesMT");
}
int32_t GetTankPropertiesEx2MT(int32_t, int32_t, int32_t* pNumber, BSTR* pName, int32_t* pGradeID, int16_t*,
                               double*, double*, double*, double*, double*, double*, double*, double*, double*,
                               double*, int32_t*, int16_t*, int32_t* pGaugeAlarmsMask, int32_t* pSlotZigBeeID,
                               int16_t*, int32_t* pProbeSerialNo) {
    *pNumber = 2;
    Put(pName, u"Tank");
    *pGradeID = 1;
    *pGaugeAlarmsMask = 5;
    *pSlotZigBeeID = 6;
    *pProbeSerialNo = 77;
    return Call("GetTankPropertiesEx2MT");
}
int32_t GetPumpPropertiesMT(int32_t, int32_t, int32_t* pNumber, BSTR* pName, int16_t*, int16_t*, int16_t*,
                            int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, int16_t*, int32_t*, int32_t*, int16_t*,
                            int16_t*, int16_t*, int16_t*) {
    *pNumber = 1;
    Put(pName, u"P");
    return Call("GetPumpPropertiesMT");
}
int32_t GetHosePropertiesExMT(int32_t, int32_t, int32_t* pNumber, int32_t*, int32_t*, int32_t*, double*, double*,
                              double*, double*, int16_t*) {
    *pNumber = 1;
    return Call("GetHosePropertiesExMT");
}
int32_t GetProductPropertiesMT(int32_t, int32_t, int32_t* pNumber, BSTR* pName, BSTR*, int16_t*, BSTR*, BSTR*,
                               double* pPrice1, double*, int32_t*) {
    *pNumber = 9;
    Put(pName, u"Oil");
    *pPrice1 = 2.5;
    return Call("GetProductPropertiesMT");
}
int32_t SetProductPropertiesExMT(int32_t, int32_t, int32_t, BSTR, BSTR, int16_t, BSTR, BSTR, int32_t, double, double,
                                 double, double, int32_t) {
    return Call("SetProductPropertiesExMT");
}
int32_t GetGradePropertiesMT(int32_t, int32_t, int32_t* pNumber, BSTR*, BSTR*, BSTR*) {
    *pNumber = 4;
    return Call("GetGradePropertiesMT");
}
int32_t GetSensorPropertiesMT(int32_t, int32_t, int32_t* pNumber, BSTR*, int32_t*, int16_t*, int16_t*, int16_t*) {
    *pNumber = 8;
    return Call("GetSensorPropertiesMT");
}
#endif

#if defined(FAKE_RECORDER)
int32_t InternalClientLogonMT(int32_t* pSessionHandle, int32_t ClientID, int16_t ClientType, BSTR ClientName,
                              int16_t ClientCategory, BSTR HashKey, int32_t EventMask, BSTR ServerName,
                              uint16_t CallPortNo, uint16_t EventsPortNo, int32_t CallTimeout, int32_t EventHandle,
                              int64_t Window, int32_t MessageNo) {
    int32_t result = Call("InternalClientLogonMT",
                          Args(Num(int64_t(ClientID)), Num(int64_t(ClientType)), Text(ClientName),
                               Num(int64_t(ClientCategory)), Text(HashKey), Num(int64_t(EventMask)), Text(ServerName),
                               Num(int64_t(CallPortNo)), Num(int64_t(EventsPortNo)), Num(int64_t(CallTimeout)),
                               Num(int64_t(EventHandle)), Num(Window), Num(int64_t(MessageNo))));
    if (result == 0) *pSessionHandle = 7;
    return result;
}
int32_t ClientLogoffMT(int32_t* pSessionHandle) {
    *pSessionHandle = 0;
    return Call("ClientLogoffMT");
}
BSTR ResultString(int32_t Res) {
    Call("ResultString", Num(int64_t(Res)));
    return SysAllocString(Res == -14 ? u"The connection to the server was closed" : u"Refused");
}
int32_t SetPortPropertiesMT(int32_t, int32_t ID, int32_t Number, BSTR Name, int32_t ProtocolID, int16_t DeviceType,
                            BSTR SerialNo) {
    return Call("SetPortPropertiesMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Num(int64_t(ProtocolID)),
                                            Num(int64_t(DeviceType)), Text(SerialNo)));
}
int32_t SetGradePropertiesExMT(int32_t, int32_t ID, int32_t Number, BSTR Name, BSTR ShortName, BSTR Code,
                               int16_t Type) {
    return Call("SetGradePropertiesExMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Text(ShortName),
                                               Text(Code), Num(int64_t(Type))));
}
int32_t SetGradePriceMT(int32_t, int32_t ID, int16_t Level, double Price) {
    return Call("SetGradePriceMT", Args(Num(int64_t(ID)), Num(int64_t(Level)), Num(Price)));
}
int32_t SetZigBeePropertiesMT(int32_t, int32_t ID, int32_t Number, BSTR Name, int16_t DeviceType, BSTR SerialNumber,
                              BSTR NodeIdentifier, int32_t PortID) {
    return Call("SetZigBeePropertiesMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name),
                                              Num(int64_t(DeviceType)), Text(SerialNumber), Text(NodeIdentifier),
                                              Num(int64_t(PortID))));
}
int32_t SetTankPropertiesEx3MT(int32_t, int32_t ID, int32_t Number, BSTR Name, int32_t GradeID, int16_t Type,
                               double Capacity, double Diameter, double, double, double, double, double, double,
                               double, double, int32_t GaugeID, int16_t ProbeNo, int32_t GaugeAlarmsMask,
                               int32_t SlotZigBeeID, int16_t ProbeType, int32_t ProbeSerialNo,
                               int32_t TankManifoldID) {
    return Call("SetTankPropertiesEx3MT",
                Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Num(int64_t(GradeID)), Num(int64_t(Type)),
                     Num(Capacity), Num(Diameter), Num(int64_t(GaugeID)), Num(int64_t(ProbeNo)),
                     Num(int64_t(GaugeAlarmsMask)), Num(int64_t(SlotZigBeeID)), Num(int64_t(ProbeType)),
                     Num(int64_t(ProbeSerialNo)), Num(int64_t(TankManifoldID))));
}
int32_t SetPumpPropertiesExMT(int32_t, int32_t ID, int32_t Number, BSTR Name, int16_t, int16_t, int16_t, int16_t,
                              int16_t, int16_t, int16_t, int16_t, int16_t Type, int32_t PortID, int32_t AttendantID,
                              int16_t, int16_t, int16_t, int16_t, int32_t SlotZigBeeID, int32_t MuxSlotZigBeeID,
                              int16_t, int16_t) {
    return Call("SetPumpPropertiesExMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Num(int64_t(Type)),
                                              Num(int64_t(PortID)), Num(int64_t(AttendantID)),
                                              Num(int64_t(SlotZigBeeID)), Num(int64_t(MuxSlotZigBeeID))));
}
int32_t SetHosePropertiesEx3MT(int32_t, int32_t ID, int32_t Number, int32_t PumpID, int32_t TankID,
                               int32_t PhysicalNumber, double, double, double, double, int16_t UVEAntenna,
                               double Price1, double Price2, double Price3, double Price4, int16_t Enabled) {
    return Call("SetHosePropertiesEx3MT",
                Args(Num(int64_t(ID)), Num(int64_t(Number)), Num(int64_t(PumpID)), Num(int64_t(TankID)),
                     Num(int64_t(PhysicalNumber)), Num(int64_t(UVEAntenna)), Num(Price1), Num(Price2), Num(Price3),
                     Num(Price4), Num(int64_t(Enabled))));
}
int32_t SetSensorPropertiesExMT(int32_t, int32_t ID, int32_t Number, BSTR Name, int32_t PortID, int16_t Type,
                                int16_t Address, int16_t SensorNo, int32_t SlotZigBeeID, int32_t SensorSerialNo) {
    return Call("SetSensorPropertiesExMT",
                Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Num(int64_t(PortID)), Num(int64_t(Type)),
                     Num(int64_t(Address)), Num(int64_t(SensorNo)), Num(int64_t(SlotZigBeeID)),
                     Num(int64_t(SensorSerialNo))));
}
int32_t SetAttendantPropertiesEx2MT(int32_t, int32_t ID, int32_t Number, BSTR Name, BSTR, BSTR, BSTR, BSTR, int16_t,
                                    int16_t, int16_t, int16_t, int16_t Type) {
    return Call("SetAttendantPropertiesEx2MT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name),
                                                    Num(int64_t(Type))));
}
int32_t SetProductPropertiesMT(int32_t, int32_t ID, int32_t Number, BSTR Name, BSTR, int16_t, BSTR, BSTR, double,
                               double, int32_t) {
    return Call("SetProductPropertiesMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name)));
}
int32_t SetProductPropertiesExMT(int32_t, int32_t ID, int32_t Number, BSTR Name, BSTR, int16_t, BSTR, BSTR, int32_t,
                                 double Price1, double, double, double, int32_t) {
    return Call("SetProductPropertiesExMT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name), Num(Price1)));
}
int32_t SetCardClientPropertiesEx4MT(int32_t, int32_t ID, int32_t Number, BSTR Name, BSTR, int16_t, int16_t, BSTR,
                                     BSTR, BSTR, BSTR, int16_t, int16_t CardType, int16_t, double, int16_t,
                                     DATE ExpirationDate, int32_t ParentID, BSTR, double, int32_t Factor) {
    char date[32];
    std::snprintf(date, sizeof date, "%.5f", ExpirationDate);
    return Call("SetCardClientPropertiesEx4MT", Args(Num(int64_t(ID)), Num(int64_t(Number)), Text(Name),
                                                     Num(int64_t(CardType)), std::string(date),
                                                     Num(int64_t(ParentID)), Num(int64_t(Factor))));
}
#endif
