#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/posix_io.h"
#include "platform/scratch_file.h"

namespace vesk {
namespace {

// Calls io until size bytes have gone through it from offset on, again where a signal broke in;
// one that moves nothing fails with `none`.
template <typename Io, typename Byte>
void wholeAt(Io io, std::uint64_t offset, Byte* data, std::size_t size, std::errc none,
             std::error_code& ec) {
    while (size > 0) {
        const ssize_t n = io(data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ec = n < 0 ? lastError() : std::make_error_code(none);
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

class PosixScratchFile final : public ScratchFile {
public:
    explicit PosixScratchFile(Descriptor fd) : fd_(std::move(fd)) {}

    void writeAt(std::uint64_t offset, const char* data, std::size_t size,
                 std::error_code& ec) override {
        const auto write = [this](const char* from, std::size_t n, off_t at) {
            return ::pwrite(fd_.get(), from, n, at);
        };
        wholeAt(write, offset, data, size, std::errc::no_space_on_device, ec);
    }

    void readAt(std::uint64_t offset, char* data, std::size_t size, std::error_code& ec) override {
        const auto read = [this](char* into, std::size_t n, off_t at) {
            return ::pread(fd_.get(), into, n, at);
        };
        wholeAt(read, offset, data, size, std::errc::io_error, ec);
    }

    void discard(std::uint64_t offset, std::uint64_t size) override {
#ifdef FALLOC_FL_PUNCH_HOLE
        ::fallocate(fd_.get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                    static_cast<off_t>(offset), static_cast<off_t>(size));
#else
        static_cast<void>(offset);
        static_cast<void>(size);
#endif
    }

private:
    Descriptor fd_;
};

}  // namespace

std::unique_ptr<ScratchFile> openScratchFile(std::error_code& ec) {
    const char* folder = std::getenv("TMPDIR");
    std::string dir = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    Descriptor fd(::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        // Where the file system has no nameless files: a name, removed at once.
        std::string name = dir + "/.vesk-scratch-XXXXXX";
        fd = Descriptor(::mkostemp(name.data(), O_CLOEXEC));
        if (fd.get() < 0) {
            ec = lastError();
            return nullptr;
        }
        ::unlink(name.c_str());
    }
    return std::make_unique<PosixScratchFile>(std::move(fd));
}

}  // namespace vesk
