#pragma once

#include <filesystem>

// Ctrl+C or a closed console, which end a run midway, and the one draft they would leave behind:
// the handler removes it, then the process dies as it would have.
namespace vesk::interrupts {

// Once, at a run's first draft.
void install();

void armDraft(const std::filesystem::path& draft);
void disarmDraft();

}  // namespace vesk::interrupts
