#pragma once

#include <windows.h>

#include <utility>

namespace vesk {

// A handle, closed with its owner.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&&) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return handle_; }
    bool isValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void reset() {
        if (isValid()) {
            CloseHandle(release());
        }
    }

private:
    HANDLE handle_;
};

}  // namespace vesk
