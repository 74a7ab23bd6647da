// Compiled-in string tables standing in for the string resources of a module.
#pragma once

#include <cstddef>

namespace platform {

struct StringResource {
    unsigned id;
    const char16_t* text;
};

// A module's table. The program's own table is the one registered with a null module.
void RegisterStringTable(const void* module, const StringResource* table, size_t count);

// Copies string `id` of `module` (null: the program) into `buffer`, at most capacity - 1 units
// and a terminator. Returns the units copied, 0 when there is no such string.
int LoadString(const void* module, unsigned id, char16_t* buffer, int capacity);

}  // namespace platform
