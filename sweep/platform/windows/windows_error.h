#pragma once

#include <windows.h>

#include <system_error>

namespace vesk {

// Win32 error numbers with the system's own wording, in UTF-8.
std::error_code windowsError(DWORD code);

// The calling thread's last error; called first thing after the call that failed.
inline std::error_code lastWindowsError() {
    return windowsError(GetLastError());
}

}  // namespace vesk
