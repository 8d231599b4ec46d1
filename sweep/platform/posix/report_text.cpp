#include "text/report_text.h"

#include "text/utf8.h"

namespace vesk {

std::size_t encodeReportText(char32_t c, char* out) {
    return encodeUtf8(c, out);
}

}  // namespace vesk
