#pragma once

#include "command_line.h"

namespace vesk {

// veskparser-sweep --follow: the sweep, then the report kept current until a signal ends it.
int follow(const CommandLine& command);

}  // namespace vesk
