#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <span>

namespace vesk {

// A buffer that logs are read into. The kernel copies into a page-aligned buffer several times
// faster than into one that is merely 16-byte aligned, as a large malloc block is.
class BlockBuffer {
public:
    explicit BlockBuffer(std::size_t size)
        : size_(size), data_(static_cast<char*>(::operator new[](size, kAlignment))) {}

    std::span<char> span() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }

private:
    static constexpr std::align_val_t kAlignment{4096};
    struct Free {
        void operator()(char* data) const { ::operator delete[](data, kAlignment); }
    };

    std::size_t size_;
    std::unique_ptr<char[], Free> data_;
};

}  // namespace vesk
