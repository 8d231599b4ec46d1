#include <windows.h>

#include <algorithm>
#include <iterator>

#include "platform/windows/interrupts.h"

namespace vesk {
namespace {

// The draft that a console's Ctrl+C or closing would leave behind. Deleting it while it is open
// only marks it; it goes when the dying process closes its handle.
volatile LONG draftArmed = 0;
wchar_t draftPathText[32768];

BOOL WINAPI removeDraftOnControl(DWORD) {
    if (draftArmed != 0) {
        DeleteFileW(draftPathText);
    }
    return FALSE;  // the default handling ends the process
}

}  // namespace

namespace interrupts {

void armDraft(const std::filesystem::path& draft) {
    draftArmed = 0;
    const std::wstring& text = draft.native();
    if (text.size() < std::size(draftPathText)) {
        std::copy_n(text.c_str(), text.size() + 1, draftPathText);
        draftArmed = 1;
    }
}

void disarmDraft() {
    draftArmed = 0;
}

void install() {
    static const bool installed = SetConsoleCtrlHandler(removeDraftOnControl, TRUE) != 0;
    static_cast<void>(installed);
}

}  // namespace interrupts

}  // namespace vesk
