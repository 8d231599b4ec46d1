#include "follow/log_change.h"

#include "engine/log_print.h"

namespace vesk {

LogChange tellChange(const LogMark& known, InputFile& now, std::error_code& ec) {
    if (now.identity() != known.identity || now.size() < known.size ||
        LogPrint::of(now, known.size, ec) != known.print || ec) {
        return LogChange::rewritten;
    }
    if (now.size() > known.size) {
        return LogChange::grown;
    }
    return now.times() == known.times ? LogChange::unchanged : LogChange::rewritten;
}

}  // namespace vesk
