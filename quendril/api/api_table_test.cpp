// Checks of the generated function table against what its users rely on: the tool's binding
// order, the readers' records, and agreement between the C header and the X-macro table.
#include "quendril/api/api_table.h"
#include "quendril/api/binding_order.h"
#include "quendril/include/quendril.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

using namespace quendril::api;

// The names the tool looks up, in its resolution order.
constexpr const char* kExpectedBinding[] = {
    "CheckForManagementFtnMT", "ClientLogoffMT", "SetIniValueExMT", "GetIniValueExMT",
    "SetIniValueMT", "GetIniValueMT", "InternalClientLogonMT", "ClientLogonExMT", "ClientLogonMT",
    "GetClientEventsSocketMT", "GetClientCallsSocketMT", "SetClientTypeMT", "GetSerialNoMT",
    "GetCardClientsCountMT", "GetCardClientByOrdinalMT", "GetCardClientPropertiesEx4MT",
    "GetCardClientPropertiesEx3MT", "GetCardClientPropertiesEx2MT", "GetCardClientPropertiesExMT",
    "GetCardClientPropertiesMT", "SetCardClientPropertiesEx4MT", "SetCardClientPropertiesEx3MT",
    "SetCardClientPropertiesEx2MT", "SetCardClientPropertiesExMT", "GetCardTypeMT",
    "DeleteCardClientMT", "GetAttendantsCountMT", "GetAttendantByOrdinalMT",
    "GetAttendantPropertiesEx2MT", "GetAttendantPropertiesExMT", "GetAttendantPropertiesMT",
    "SetAttendantPropertiesEx2MT", "SetAttendantPropertiesExMT", "SetAttendantPropertiesMT",
    "DeleteAttendantMT", "GetProductsCountMT", "GetProductByOrdinalMT", "GetProductByNumberMT",
    "DeleteProductMT", "GetProductPropertiesMT", "SetProductPropertiesMT",
    "GetProductPropertiesExMT", "GetProductPropertiesEx2MT", "SetProductPropertiesExMT",
    "GetGradesCountMT", "GetGradeByOrdinalMT", "DeleteGradeMT", "GetGradePropertiesMT",
    "SetGradePropertiesMT", "GetGradePropertiesExMT", "SetGradePropertiesExMT", "GetGradePriceMT",
    "GetTanksCountMT", "GetTankByOrdinalMT", "GetTankPropertiesMT", "GetTankPropertiesExMT",
    "GetTankPropertiesEx2MT", "GetTankPropertiesEx3MT", "GetPumpsCountMT", "GetPumpByOrdinalMT",
    "GetPumpByNumberMT", "GetPumpPropertiesExMT", "GetPumpPropertiesMT", "SetPumpPropertiesMT",
    "SetPumpPropertiesExMT", "SetHosePricesMT", "SetHosePricesExMT", "GetHosePricesMT",
    "GetHosePricesExMT", "GetHosesCountMT", "GetHoseByOrdinalMT", "GetHosePropertiesEx3MT",
    "GetHosePropertiesEx2MT", "GetHosePropertiesExMT", "GetDeliveriesCountMT",
    "GetDeliveriesCountNotLoggedMT", "GetDeliveriesCountNotVolLoggedMT", "GetDeliveryByOrdinalMT",
    "GetDeliveryIDByOrdinalNotLoggedMT", "GetDeliveryIDByOrdinalNotVolLoggedMT",
    "GetDeliverySummaryEx2MT", "GetDeliverySummaryEx3MT", "GetDeliverySummaryEx4MT",
    "ClearDeliveryMT", "LockAndClearDeliveryMT", "AckDeliveryDBLogMT", "AckDeliveryVolLogMT",
    "GetDeliveryExtMT", "SetDeliveryExtMT", "GetSaleItemsCountMT", "GetSaleItemByOrdinalMT",
    "GetSaleItemSummaryMT", "SaleItemClearMT", "SaleItemLockAndClearMT", "SaleItemAckDBLogMT",
    "SaleItemAckVolLogMT", "ServerVersionMT", "DllVersion", "ResultString", "GetLogEventCountMT",
    "GetLogEventByOrdinalMT", "GetLogEventCountExMT", "GetLogEventByOrdinalExMT",
    "ClearLogEventMT", "AckLogEventMT", "DeleteLogEventMT", "GetLogEventPropertiesMT",
    "ProcessEventsMT", "GetEventsCountMT", "GetNextEventTypeMT", "DiscardNextEventMT",
    "GetNextPumpEventMT", "GetNextPumpEventEx2MT", "GetNextPumpEventEx3MT",
    "GetNextDeliveryEventEx2MT", "GetNextDeliveryEventEx3MT", "GetNextDeliveryEventEx4MT",
    "GetPumpHosesCountMT", "GetPumpHoseByNumberMT", "PreauthReserveMT", "PreauthCancelMT",
    "PreauthAuthoriseMT", "PaymentReserveMT", "PaymentCancelMT", "PaymentAuthoriseMT",
    "TerminateDeliveryMT", "GetNextCardReadEventMT", "SetDeliveryPropertiesEx4MT",
    "SetDeliveryPropertiesEx3MT", "SetDeliveryPropertiesEx2MT", "SetDeliveryPropertiesExMT",
    "SetDateTimeMT", "GetDateTimeMT", "GetZigBeeCountMT", "GetZigBeeByOrdinalMT",
    "GetZigBeePropertiesMT", "GetPortsCountMT", "GetPortByNumberMT", "GetPortByNameMT",
    "GetPortByOrdinalMT", "GetPortPropertiesMT", "GetTankSummaryMT", "GetTankSummaryExMT",
    "GetTankSummaryEx2MT", "GetTankSummaryEx3MT", "GetDeliveriesCountFilteredMT",
    "GetDeliveriesCountFilteredExMT", "GetDeliveryIDByOrdinalFilteredMT",
    "GetDeliveryIDByOrdinalFilteredExMT", "GetDeliveryPropertiesMT", "GetDeliveryPropertiesExMT",
    "GetDeliveryPropertiesEx2MT", "GetDeliveryPropertiesEx3MT", "GetDeliveryPropertiesEx4MT",
    "GetNextDBTankStatusEventMT", "GetNextDBTankStatusEventExMT", "GetNextDBTankStatusEventEx2MT",
    "GetNextLogEventEventMT", "TempStopMT", "ReAuthoriseMT", "GetLastProductUpdatedMT",
    "AddLogEventMT", "GetSensorsCountMT", "GetSensorByOrdinalMT", "GetSensorPropertiesMT",
    "GetSensorPropertiesExMT", "GetSensorStatusMT", "GetHoseDelTotalsMT", "GetZB2GConfigMT",
    "GetDeviceDetailsMT", "SetPortPropertiesMT", "SetGradePriceMT", "SetZigBeePropertiesMT",
    "SetTankPropertiesExMT", "SetTankPropertiesEx2MT", "SetTankPropertiesEx3MT",
    "SetHosePropertiesExMT", "SetHosePropertiesEx2MT", "SetHosePropertiesEx3MT",
    "SetSensorPropertiesMT", "SetSensorPropertiesExMT", "SetNextDeliveryIDMT", "DeleteHoseMT",
    "DeletePumpMT", "AllStopMT", "AuthoriseMT", "CancelAuthoriseMT", "LoadPresetMT",
    "LoadPresetWithPriceMT", "GetPumpDeliveryPropertiesEx4MT", "SetPumpDefaultPriceLevelMT",
    "GetNextDBHoseETotalsEventExMT", "GetCardReadByOrdinalMT", "GetCardReadPropertiesMT",
    "DeleteCardReadMT", "TagAuthoriseMT", "GetTCPIPConfigMT", "SetTCPIPConfigMT", "WDResetMT",
    "GetHoseSummaryMT", "GetHoseSummaryExMT", "GetHoseSummaryEx2MT", "ExternalStartDeliveryMT",
    "ExternalEndDeliveryMT", "EventsDebugMT",
};

TEST(ApiTable, BindingOrderIsTheToolsList) {
    static_assert(std::size(kExpectedBinding) == 205);
    ASSERT_EQ(kBindingNames.size(), std::size(kExpectedBinding));
    std::set<std::string_view> seen;
    for (size_t i = 0; i < kBindingNames.size(); ++i) {
        EXPECT_STREQ(kBindingNames[i], kExpectedBinding[i]) << "position " << i + 1;
        EXPECT_TRUE(seen.insert(kBindingNames[i]).second) << kBindingNames[i] << " bound twice";
        // The position names its function: <Name>MT, or the plain name of a local function.
        const FunctionInfo& f = Info(kBindingFunctions[i]);
        EXPECT_EQ(f.bind, static_cast<int>(i + 1));
        std::string symbol = std::string(f.name) + (f.kind == Kind::kLocal ? "" : "MT");
        EXPECT_EQ(symbol, kBindingNames[i]);
    }
}

TEST(ApiTable, EveryReaderMatchesItsRecord) {
    std::set<int> primaryKinds;
    int readers = 0;
    for (const FunctionInfo& f : kFunctions) {
        if (f.event == 0) continue;
        ++readers;
        EXPECT_EQ(f.kind, Kind::kSession) << f.name;
        const RecordInfo* record = nullptr;
        for (const RecordInfo& r : kRecords) {
            if (std::string_view(r.name) == f.record) record = &r;
        }
        ASSERT_NE(record, nullptr) << f.name;
        auto params = ParamsOf(f);
        auto fields = FieldsOf(*record);
        ASSERT_EQ(params.size(), fields.size()) << f.name;
        for (size_t i = 0; i < params.size(); ++i) {
            EXPECT_EQ(params[i].dir, Dir::kOut) << f.name << " " << params[i].name;
            EXPECT_EQ(params[i].type, fields[i].type) << f.name << " " << params[i].name;
            EXPECT_STREQ(params[i].name, fields[i].name) << f.name;
        }
        if (record->kind != 0) {
            EXPECT_EQ(record->kind, f.event) << f.name;
            EXPECT_TRUE(primaryKinds.insert(f.event).second) << "two readers carry kind " << f.event;
        }
    }
    EXPECT_EQ(readers, 27) << "21 readers of the event kinds and 6 older ones";
    // Kinds with a reader; 14-16, 18, 20 and 21 have none and are discarded.
    EXPECT_EQ(primaryKinds, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 19, 22, 23, 24, 25, 26, 27}));
    for (int k : {14, 15, 16, 18, 20, 21, 28}) EXPECT_EQ(RecordOfKind(k), nullptr) << k;
    EXPECT_STREQ(RecordOfKind(1)->name, "PumpStatusEventEx3");
    EXPECT_STREQ(RecordOfKind(19)->name, "PanIDEvent");
}

TEST(ApiTable, KindsAndLookups) {
    std::set<std::string_view> local;
    int methods = 0;
    for (const FunctionInfo& f : kFunctions) {
        if (f.kind == Kind::kLocal) local.insert(f.name);
        if (f.flags & kMethod) ++methods;
        EXPECT_EQ(FindFunction(f.name), &f);
        EXPECT_EQ(&Info(f.id), &f);
    }
    EXPECT_EQ(local, (std::set<std::string_view>{"DllVersion", "ResultString", "PumpStateString",
                                                 "DeliveryStateString", "DeliveryTypeString",
                                                 "ReserveTypeString", "CheckSocketClosed",
                                                 "WasReconnected"}));
    EXPECT_EQ(methods, 277) << "every method of the component has its function";
    EXPECT_STREQ(Info(FunctionId::DllVersion).method, "GetDLLVersion");
    EXPECT_STREQ(Info(FunctionId::GetSaleItemSummary).method, "SaleItemGetSummary");
    EXPECT_EQ(FindFunction("GetDLLVersion"), nullptr) << "the table uses the library's names";
}

// The C declarations and the X-macro rows come from different emitters; they must agree.
#define CHECK_PLAIN(Name, K, Ret, Session, CParams, CArgs) \
    static_assert(std::is_same_v<decltype(Name), sig::Name::CFunction<Ret>>, #Name);
QUENDRIL_FUNCTIONS(CHECK_PLAIN)
#undef CHECK_PLAIN

#define CHECK_MT(Name, K, Ret, Session, CParams, CArgs) \
    static_assert(std::is_same_v<decltype(Name##MT), sig::Name::MTFunction<Ret, Session>>, #Name);
QUENDRIL_MT_FUNCTIONS(CHECK_MT)
#undef CHECK_MT

// QUENDRIL_PREPEND puts the session before the parameters, also when there are none.
static_assert(std::is_same_v<void(QUENDRIL_PREPEND(int32_t s, ())), void(int32_t)>);
static_assert(std::is_same_v<void(QUENDRIL_PREPEND(int32_t s, (int16_t a, BSTR* b))),
                             void(int32_t, int16_t, BSTR*)>);

}  // namespace
