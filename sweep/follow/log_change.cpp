#include "follow/log_change.h"

namespace vesk {
namespace {

// Whether the file holds the bytes at offset.
bool holds(InputFile& file, std::uint64_t offset, const std::string& bytes, std::error_code& ec) {
    std::string now(bytes.size(), '\0');
    std::size_t done = 0;
    while (done < now.size() && !ec) {
        const std::size_t n = file.readAt(offset + done, now.data() + done, now.size() - done, ec);
        if (n == 0) {
            break;
        }
        done += n;
    }
    return done == now.size() && now == bytes;
}

}  // namespace

LogChange tellChange(const LogMark& known, InputFile& now, std::error_code& ec) {
    if (now.identity() != known.identity || now.size() < known.size ||
        !holds(now, 0, known.head, ec) ||
        !holds(now, known.size - known.tail.size(), known.tail, ec)) {
        return LogChange::rewritten;
    }
    if (now.size() > known.size) {
        return LogChange::grown;
    }
    return now.times().modified == known.times.modified ? LogChange::unchanged
                                                        : LogChange::rewritten;
}

}  // namespace vesk
