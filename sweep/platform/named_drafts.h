#pragma once

#include <memory>

#include "sweep/file_system.h"

namespace vesk {

// The machine's file system, its drafts named from the start as where it has no nameless files:
// for tests of that way.
std::unique_ptr<FileSystem> makeFileSystemWithNamedDrafts();

}  // namespace vesk
