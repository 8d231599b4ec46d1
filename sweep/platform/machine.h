#pragma once

namespace vesk {

// The cores this process may use: those it may run on, and no more than its job's CPU quota.
unsigned usableCores();

// Gives the memory freed after a burst of work, as following's first sweep, back to the system,
// where the allocator would keep it for the rest of a process that runs for weeks.
void returnFreedMemory();

}  // namespace vesk
