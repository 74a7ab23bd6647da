// Widgets that record what the component hands them, for the component's tests.
#pragma once

#include <QVariant>
#include <QVariantList>

#include <vector>

#include "controls/VQPump.h"
#include "controls/VQTank.h"

// Each call's values in parameter order.
class RecordingPump : public Varnel::VQPump {
public:
    std::vector<QVariantList> status;
    std::vector<QVariantList> deliveries;

    int32_t StatusEventSink(int16_t State, int16_t ReservedFor, int32_t ReservedBy, int32_t HoseID, int32_t HoseNumber, int32_t HosePhysicalNumber, int32_t GradeID, int32_t GradeNumber, const QString& GradeName, const QString& ShortGradeName, int16_t PriceLevel, double Price, double Volume, double Value, int16_t StackSize, const QString& PumpName, int32_t PhysicalNumber, int16_t Side, int16_t Address, int16_t PriceLevel1, int16_t PriceLevel2, int16_t Type, int32_t PortID, int16_t AuthMode, int16_t StackMode, int16_t PrepayAllowed, int16_t PreauthAllowed, int16_t PriceFormat, int16_t ValueFormat, int16_t VolumeFormat, int64_t Tag, int32_t AttendantID, int32_t AttendantNumber, const QString& AttendantName, int64_t AttendantTag, int32_t CardClientID, int32_t CardClientNumber, const QString& CardClientName, int64_t CardClientTag, double CurFlowRate, double PeakFlowRate) override {
        QVariantList v{QVariant::fromValue(State), QVariant::fromValue(ReservedFor), QVariant::fromValue(ReservedBy), QVariant::fromValue(HoseID), QVariant::fromValue(HoseNumber), QVariant::fromValue(HosePhysicalNumber), QVariant::fromValue(GradeID), QVariant::fromValue(GradeNumber), QVariant::fromValue(GradeName), QVariant::fromValue(ShortGradeName), QVariant::fromValue(PriceLevel), QVariant::fromValue(Price), QVariant::fromValue(Volume), QVariant::fromValue(Value), QVariant::fromValue(StackSize), QVariant::fromValue(PumpName), QVariant::fromValue(PhysicalNumber), QVariant::fromValue(Side), QVariant::fromValue(Address), QVariant::fromValue(PriceLevel1), QVariant::fromValue(PriceLevel2), QVariant::fromValue(Type), QVariant::fromValue(PortID), QVariant::fromValue(AuthMode), QVariant::fromValue(StackMode), QVariant::fromValue(PrepayAllowed), QVariant::fromValue(PreauthAllowed), QVariant::fromValue(PriceFormat), QVariant::fromValue(ValueFormat), QVariant::fromValue(VolumeFormat), QVariant::fromValue(Tag), QVariant::fromValue(AttendantID), QVariant::fromValue(AttendantNumber), QVariant::fromValue(AttendantName), QVariant::fromValue(AttendantTag), QVariant::fromValue(CardClientID), QVariant::fromValue(CardClientNumber), QVariant::fromValue(CardClientName), QVariant::fromValue(CardClientTag), QVariant::fromValue(CurFlowRate), QVariant::fromValue(PeakFlowRate)};
        status.push_back(v);
        return 0;
    }
    int32_t DeliveryEventSink(int32_t DeliveryID, int32_t HoseID, int32_t HoseNumber, int32_t HosePhysicalNumber, int32_t PumpID, int32_t PumpNumber, const QString& PumpName, int32_t TankID, int32_t TankNumber, const QString& TankName, int32_t GradeID, int32_t GradeNumber, const QString& GradeName, const QString& GradeShortName, const QString& GradeCode, int16_t DeliveryState, int16_t DeliveryType, double Volume, int16_t PriceLevel, double Price, double Value, double Volume2, const QDateTime& CompletedDT, int32_t LockedBy, int32_t ReservedBy, int32_t AttendantID, int32_t Age, const QDateTime& ClearedDT, double OldVolumeETot, double OldVolume2ETot, double OldValueETot, double NewVolumeETot, double NewVolume2ETot, double NewValueETot, int64_t Tag, int32_t Duration, int32_t AttendantNumber, const QString& AttendantName, int64_t AttendantTag, int32_t CardClientID, int32_t CardClientNumber, const QString& CardClientName, int64_t CardClientTag) override {
        QVariantList v{QVariant::fromValue(DeliveryID), QVariant::fromValue(HoseID), QVariant::fromValue(HoseNumber), QVariant::fromValue(HosePhysicalNumber), QVariant::fromValue(PumpID), QVariant::fromValue(PumpNumber), QVariant::fromValue(PumpName), QVariant::fromValue(TankID), QVariant::fromValue(TankNumber), QVariant::fromValue(TankName), QVariant::fromValue(GradeID), QVariant::fromValue(GradeNumber), QVariant::fromValue(GradeName), QVariant::fromValue(GradeShortName), QVariant::fromValue(GradeCode), QVariant::fromValue(DeliveryState), QVariant::fromValue(DeliveryType), QVariant::fromValue(Volume), QVariant::fromValue(PriceLevel), QVariant::fromValue(Price), QVariant::fromValue(Value), QVariant::fromValue(Volume2), QVariant::fromValue(CompletedDT), QVariant::fromValue(LockedBy), QVariant::fromValue(ReservedBy), QVariant::fromValue(AttendantID), QVariant::fromValue(Age), QVariant::fromValue(ClearedDT), QVariant::fromValue(OldVolumeETot), QVariant::fromValue(OldVolume2ETot), QVariant::fromValue(OldValueETot), QVariant::fromValue(NewVolumeETot), QVariant::fromValue(NewVolume2ETot), QVariant::fromValue(NewValueETot), QVariant::fromValue(Tag), QVariant::fromValue(Duration), QVariant::fromValue(AttendantNumber), QVariant::fromValue(AttendantName), QVariant::fromValue(AttendantTag), QVariant::fromValue(CardClientID), QVariant::fromValue(CardClientNumber), QVariant::fromValue(CardClientName), QVariant::fromValue(CardClientTag)};
        deliveries.push_back(v);
        return 0;
    }
};

class RecordingTank : public Varnel::VQTank {
public:
    std::vector<QVariantList> status;

    int32_t StatusEventSink(double GaugeVolume, double GaugeTCVolume, double GaugeUllage, double GaugeTemperature, double GaugeLevel, double GaugeWaterVolume, double GaugeWaterLevel, int32_t TankNumber, const QString& TankName, int32_t GradeID, const QString& GradeName, int16_t Type, double Capacity, double Diameter, int32_t GaugeID, int16_t ProbeNo, int16_t State, int32_t AlarmsMask) override {
        QVariantList v{QVariant::fromValue(GaugeVolume), QVariant::fromValue(GaugeTCVolume), QVariant::fromValue(GaugeUllage), QVariant::fromValue(GaugeTemperature), QVariant::fromValue(GaugeLevel), QVariant::fromValue(GaugeWaterVolume), QVariant::fromValue(GaugeWaterLevel), QVariant::fromValue(TankNumber), QVariant::fromValue(TankName), QVariant::fromValue(GradeID), QVariant::fromValue(GradeName), QVariant::fromValue(Type), QVariant::fromValue(Capacity), QVariant::fromValue(Diameter), QVariant::fromValue(GaugeID), QVariant::fromValue(ProbeNo), QVariant::fromValue(State), QVariant::fromValue(AlarmsMask)};
        status.push_back(v);
        return 0;
    }
};
