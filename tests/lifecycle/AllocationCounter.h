#pragma once
// Counts the program's live C++ allocations. The global operator new and delete are replaced in
// this program; the dynamically loaded driver module, which links the C++ runtime dynamically and
// defines no operators of its own, binds to these replacements too.

#include <cstdint>

namespace lifecycle {

struct AllocationCount {
    int64_t live = 0;
    int64_t bytes = 0;
    int64_t total = 0;   // every allocation ever made
};

AllocationCount allocationCount();

}  // namespace lifecycle
