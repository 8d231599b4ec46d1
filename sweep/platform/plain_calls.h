#pragma once

#include <memory>

#include "sweep/file_system.h"

namespace vesk {

// The machine's file system reading small logs one call at a time, as where the system has no
// faster way (io_uring on Linux): for tests of that way. POSIX systems only.
std::unique_ptr<FileSystem> makeFileSystemWithPlainCalls();

}  // namespace vesk
