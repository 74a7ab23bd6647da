// Generated sites for a new configuration store: a realistic demo station (--demo-site) and a
// large site for benchmarks (--generate-site large). Both write through Store::Call, as an
// import would, and expect an empty store (objects get the IDs 1, 2, ... of each kind).
#pragma once

#include <cstdint>

#include "wyrlan/store/store.h"

namespace wyrlan::store {

// The demo station: 3 ports (port 3 a ZigBee coordinator), 4 ZigBee devices (IDs 5 to 8, the
// pumps' slots), 4 grades priced at two levels, 4 tanks, 8 pumps with 2 to 4 hoses, 2 sensors,
// 25 products, 6 attendants and 40 card clients of several card types, some with parents.
// 0, or the first failing result.
int32_t FillDemoSite(Store& store);

// The large site: 32 ports (port 1 a ZigBee coordinator), 8 ZigBee devices, 128 grades,
// 64 tanks, 64 pumps with 4 hoses each, 10,000 card clients, 5,000 products and 500
// attendants. 0, or the first failing result.
int32_t FillLargeSite(Store& store);

}  // namespace wyrlan::store
