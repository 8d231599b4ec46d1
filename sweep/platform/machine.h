#pragma once

namespace vesk {

// The cores this process may use: those it may run on, and no more than its job's CPU quota.
unsigned usableCores();

}  // namespace vesk
