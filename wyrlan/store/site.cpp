#include "wyrlan/store/site.h"

#include <cstdio>
#include <string>
#include <vector>

#include "quendril/include/quendril.h"

namespace wyrlan::store {

namespace {

using F = FunctionId;

std::u16string U(const std::string& s) {
    std::u16string out;
    for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

template <class... A>
std::u16string Fmt(const char* format, A... args) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, args...);
    return U(buf);
}

Value T(const std::u16string& s) { return Value::Text(s); }

// The first `n` characters of a name, without trailing blanks: an INI file does not keep them,
// so a short name ending in one would not survive an export and import.
std::u16string ShortOf(const std::u16string& name, size_t n) {
    std::u16string s = name.substr(0, n);
    while (!s.empty() && s.back() == u' ') s.pop_back();
    return s;
}

// Runs the calls of a generator; the first failure stops it and is kept.
struct Writer {
    explicit Writer(Store& s) : store(s) {}
    Store& store;
    int32_t rc = 0;
    std::vector<Value> out;

    int32_t Add(F f, std::initializer_list<Value> in) {
        if (rc) return 0;
        rc = CallWith(store, f, in, out);
        return rc == 0 ? static_cast<int32_t>(out[0].i) : 0;
    }
    void Do(F f, std::initializer_list<Value> in) {
        if (rc) return;
        rc = CallWith(store, f, in, out);
    }

    int32_t Port(const std::u16string& name, int32_t protocol, int16_t deviceType, const std::u16string& serial) {
        return Add(F::AddPort, {T(name), Value::I32(protocol), Value::I16(deviceType), T(serial)});
    }
    int32_t ZigBee(const std::u16string& name, int16_t type, const std::u16string& serial,
                   const std::u16string& node, int32_t port) {
        return Add(F::AddZigBee, {T(name), Value::I16(type), T(serial), T(node), Value::I32(port)});
    }
    // A ZigBee device written with its ID, as a slot field names it (5 and up).
    int32_t ZigBeeAt(int32_t id, int32_t number, const std::u16string& name, int16_t type,
                     const std::u16string& serial, const std::u16string& node, int32_t port) {
        Do(F::SetZigBeeProperties,
           {Value::I32(id), Value::I32(number), T(name), Value::I16(type), T(serial), T(node), Value::I32(port)});
        return rc == 0 ? id : 0;
    }
    int32_t Grade(const std::u16string& name, const std::u16string& shortName, const std::u16string& code,
                  double price1, double price2) {
        int32_t id = Add(F::AddGrade, {T(name), T(shortName), T(code), Value::I16(1)});
        Do(F::SetGradePrice, {Value::I32(id), Value::I16(1), Value::F64(price1)});
        Do(F::SetGradePrice, {Value::I32(id), Value::I16(2), Value::F64(price2)});
        return id;
    }
    int32_t Tank(const std::u16string& name, int32_t grade, double capacity, double diameter, double fill,
                 int32_t gauge, int16_t probe) {
        double volume = capacity * fill;
        return Add(F::AddTank,
                   {T(name), Value::I32(grade), Value::I16(1), Value::F64(capacity), Value::F64(diameter),
                    Value::F64(volume), Value::F64(volume), Value::F64(volume * 0.996),
                    Value::F64(capacity - volume), Value::F64(14.5), Value::F64(diameter * fill * 1000.0),
                    Value::F64(0.0), Value::F64(0.0), Value::I32(gauge), Value::I16(probe), Value::I32(0),
                    Value::I32(-1), Value::I16(1), Value::I32(100000 + gauge * 10 + probe)});
    }
    int32_t Pump(int32_t number, int32_t port, int16_t address, int32_t slot) {
        return Add(F::AddPump,
                   {T(Fmt("Pump %d", number)), Value::I16(static_cast<int16_t>(number)),
                    Value::I16(static_cast<int16_t>(1 + (number - 1) % 2)), Value::I16(address),
                    Value::I16(1), Value::I16(2), Value::I16(3), Value::I16(2), Value::I16(2),
                    Value::I16(1), Value::I32(port), Value::I32(0), Value::I16(1), Value::I16(2),
                    Value::I16(1), Value::I16(1), Value::I32(slot), Value::I32(-1), Value::I16(1),
                    Value::I16(1)});
    }
    int32_t Hose(int32_t pump, int32_t tank, int32_t physical, double price1, double price2) {
        return Add(F::AddHose,
                   {Value::I32(pump), Value::I32(tank), Value::I32(physical), Value::F64(182345.67 * physical),
                    Value::F64(104567.2 * physical), Value::F64(182345.67 * physical),
                    Value::F64(104567.2 * physical), Value::I16(0), Value::F64(price1), Value::F64(price2),
                    Value::F64(0), Value::F64(0), Value::I16(1)});
    }
    int32_t Sensor(const std::u16string& name, int32_t port, int16_t type, int16_t address, int16_t no) {
        return Add(F::AddSensor, {T(name), Value::I32(port), Value::I16(type), Value::I16(address),
                                  Value::I16(no), Value::I32(-1), Value::I32(5000 + no)});
    }
    int32_t Product(const std::u16string& name, const std::u16string& shortName, const std::u16string& barcode,
                    int32_t quickCode, double price, int32_t group) {
        return Add(F::AddProduct, {T(name), T(u""), Value::I16(1), T(shortName), T(barcode), Value::I32(quickCode),
                                   Value::F64(price), Value::F64(price * 0.95), Value::F64(0), Value::F64(0),
                                   Value::I32(group)});
    }
    int32_t Attendant(const std::u16string& name, const std::u16string& shortName, int32_t n) {
        bool early = n % 2 == 1;
        return Add(F::AddAttendant,
                   {T(name), T(shortName), T(Fmt("%04d", 1000 + n * 7)), T(Fmt("%d", 900000 + n)),
                    T(Fmt("ID%06d", 400000 + n * 13)), Value::I16(early ? 360 : 840),
                    Value::I16(early ? 839 : 1319), Value::I16(0), Value::I16(1439), Value::I16(1)});
    }
    int32_t Client(const std::u16string& name, const std::u16string& tag, int16_t cardType, int32_t parent,
                   int16_t limitType, double limit, const std::u16string& plate, int32_t n) {
        return Add(F::AddCardClient,
                   {T(name), T(tag), Value::I16(1), Value::I16(static_cast<int16_t>(1 + n % 2)), T(plate),
                    T(Fmt("C%07d", 2000000 + n)), T(ShortOf(name, 10)), T(u""), Value::I16(1),
                    Value::I16(cardType), Value::I16(limitType), Value::F64(limit), Value::I16(1),
                    Value::Date(47848.0 + n % 365), Value::I32(parent), T(u""), Value::F64(0), Value::I32(1)});
    }
};

}  // namespace

int32_t FillDemoSite(Store& store) {
    Writer w{store};
    int32_t pumpPort = w.Port(u"COM1", 1, 1, u"PIF-20413");
    int32_t gaugePort = w.Port(u"COM2", 5, 2, u"TG-77120");
    int32_t zbPort = w.Port(u"USB0", 12, kPortZigBeeCoordinator, u"ZC-4F21A7");
    int32_t slots[4];
    for (int i = 0; i < 4; ++i)
        slots[i] = w.ZigBeeAt(5 + i, i + 1, Fmt("Slot %d", i + 1), static_cast<int16_t>(i < 3 ? 1 : 2),
                              Fmt("0013A20040B1C0%02X", 0x31 + i), Fmt("SLOT%d", i + 1), zbPort);

    struct G {
        const char* name;
        const char* shortName;
        const char* code;
        double p1, p2, capacity;
    };
    const G grades[] = {{"Unleaded 95", "U95", "95", 1.749, 1.729, 30000},
                        {"Super Plus 98", "S98", "98", 1.899, 1.879, 20000},
                        {"Diesel", "DSL", "DI", 1.659, 1.639, 40000},
                        {"LPG", "LPG", "LPG", 0.899, 0.879, 10000}};
    int32_t tanks[4];
    for (int i = 0; i < 4; ++i) {
        int32_t g = w.Grade(U(grades[i].name), U(grades[i].shortName), U(grades[i].code), grades[i].p1, grades[i].p2);
        tanks[i] = w.Tank(Fmt("Tank %d %s", i + 1, grades[i].shortName), g, grades[i].capacity, 2.5,
                          0.35 + 0.15 * i, 1, static_cast<int16_t>(i + 1));
    }

    for (int p = 1; p <= 8; ++p) {
        int32_t pump = w.Pump(p, pumpPort, static_cast<int16_t>(p), slots[(p - 1) / 2]);
        int hoses = 2 + (p % 3);  // 3, 4, 2, 3, 4, 2, 3, 4
        for (int h = 0; h < hoses; ++h) {
            int g = p == 8 && h == 3 ? 3 : h % 3;  // the LPG grade on the last hose of pump 8
            w.Hose(pump, tanks[g], h + 1, grades[g].p1, grades[g].p2);
        }
    }

    w.Sensor(u"Leak sensor sump 1", gaugePort, 1, 1, 1);
    w.Sensor(u"Interstitial tank 3", gaugePort, 2, 1, 2);

    const char* shop[] = {"Motor oil 5W-30 1L", "Motor oil 10W-40 4L", "Screen wash 5L", "AdBlue 10L",
                          "Coffee regular", "Coffee large", "Cappuccino", "Espresso", "Mineral water 0.5L",
                          "Cola 0.5L", "Orange juice 1L", "Chocolate bar", "Crisps salted", "Sandwich ham",
                          "Sandwich cheese", "Car wash basic", "Car wash premium", "Air freshener",
                          "Ice scraper", "Wiper blades", "Charcoal 3kg", "Firewood bag", "Gas bottle 11kg",
                          "Newspaper", "Phone charger"};
    int32_t products[25];
    for (int i = 0; i < 25; ++i) {
        std::u16string name = U(shop[i]);
        products[i] = w.Product(name, ShortOf(name, 12), Fmt("40%011d", 12345670 + i * 91), 100 + i,
                                0.99 + i * 0.85, 1 + i / 5);
    }

    const char* people[] = {"Anna Keller", "Ben Morris", "Clara Dunn", "David Roth", "Elena Varga", "Farid Nasser"};
    int32_t attendants[6];
    for (int i = 0; i < 6; ++i) {
        std::u16string name = U(people[i]);
        attendants[i] = w.Attendant(name, name.substr(0, name.find(u' ')), i + 1);
    }

    // 40 card clients: 6 fleet accounts (card type 1), 18 driver cards of those fleets (4),
    // 6 attendant cards (5), 4 product cards (7), 6 private cards (1).
    const char* fleets[] = {"Northway Haulage", "City Cabs", "Greenfield Farms", "Metro Buses", "Allied Couriers", "Riverside Council"};
    int32_t fleetIds[6];
    int n = 0;
    for (int i = 0; i < 6; ++i, ++n)
        fleetIds[i] = w.Client(U(fleets[i]), Fmt("60%08d", 10000 + n), 1, -1, 2, 5000.0, u"", n);
    for (int i = 0; i < 18; ++i, ++n)
        w.Client(Fmt("%s driver %d", fleets[i % 6], i / 6 + 1), Fmt("60%08d", 10000 + n), 4, fleetIds[i % 6], 1,
                 150.0, Fmt("KX%02d %c%cR", 10 + i, 'A' + i, 'B' + i % 7), n);
    for (int i = 0; i < 6; ++i, ++n)
        w.Client(Fmt("Card %s", people[i]), Fmt("70%08d", 20000 + n), 5, attendants[i], 1, 0.0, u"", n);
    for (int i = 0; i < 4; ++i, ++n)
        w.Client(Fmt("Voucher %s", shop[4 + i]), Fmt("80%08d", 30000 + n), 7, products[4 + i], 3, 10.0, u"", n);
    const char* privates[] = {"M. Fischer", "J. Patel", "S. O'Brien", "L. Novak", "R. Silva", "T. Lindqvist"};
    for (int i = 0; i < 6; ++i, ++n)
        w.Client(U(privates[i]), Fmt("60%08d", 10000 + n), 1, -1, 1, 300.0, Fmt("PR%02d XYZ", i), n);
    return w.rc;
}

int32_t FillLargeSite(Store& store) {
    Writer w{store};
    int32_t zbPort = w.Port(u"USB0", 12, kPortZigBeeCoordinator, u"ZC-90001");
    std::vector<int32_t> pumpPorts;  // every fourth port is a tank gauge's, the others drive pumps
    for (int i = 2; i <= 32; ++i) {
        bool gauge = i % 4 == 0;
        int32_t id = w.Port(Fmt("COM%d", i - 1), gauge ? 5 : 1, static_cast<int16_t>(gauge ? 2 : 1), Fmt("PIF-%05d", 30000 + i));
        if (!gauge) pumpPorts.push_back(id);
    }
    for (int i = 1; i <= 8; ++i) w.ZigBee(Fmt("Slot %d", i), 1, Fmt("0013A20040C2%04X", i), Fmt("SLOT%d", i), zbPort);
    int32_t tanks[64];
    for (int g = 1; g <= 128; ++g) {
        int32_t id = w.Grade(Fmt("Grade %d", g), Fmt("G%d", g), Fmt("%03d", g), 1.5 + g * 0.001, 1.48 + g * 0.001);
        if (g <= 64) tanks[g - 1] = w.Tank(Fmt("Tank %d", g), id, 20000 + 500 * (g % 8), 2.5, 0.5, 1 + (g - 1) / 16, static_cast<int16_t>(1 + (g - 1) % 16));
    }
    for (int p = 1; p <= 64; ++p) {
        int32_t pump = w.Pump(p, pumpPorts[(p - 1) % pumpPorts.size()], static_cast<int16_t>(1 + (p - 1) % 16), -1);
        for (int h = 0; h < 4; ++h) w.Hose(pump, tanks[(p * 4 + h) % 64], h + 1, 1.5, 1.48);
    }
    for (int i = 1; i <= 5000; ++i)
        w.Product(Fmt("Product %05d", i), Fmt("P%05d", i), Fmt("50%011d", i * 7), i, 0.5 + (i % 200) * 0.25, 1 + i % 40);
    for (int i = 1; i <= 500; ++i) w.Attendant(Fmt("Attendant %03d", i), Fmt("A%03d", i), i);
    for (int i = 1; i <= 10000; ++i) {
        bool child = i > 1000 && i % 3 == 0;
        w.Client(Fmt("Client %05d", i), Fmt("61%08d", i), static_cast<int16_t>(child ? 4 : 1), child ? 1 + i % 1000 : -1,
                 1, 200.0 + i % 50, Fmt("LG%05d", i), i);
    }
    return w.rc;
}

}  // namespace wyrlan::store
