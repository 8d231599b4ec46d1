#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "rule/line_scanner.h"
#include "text/text_form.h"
#include "text/utf16_decoder.h"

namespace vesk {

// The stage in front of the line scanner: a log's bytes as the 8-bit text it cuts into lines.
// 8-bit text goes through as it is; UTF-16LE text is converted to the report's 8-bit text. The
// form may change at a line's start, in either direction:
// - 8-bit text becomes UTF-16LE where TextForm says a line's start is UTF-16LE;
// - UTF-16LE text becomes 8-bit text at an 8-bit marker line that stands after a line end byte
//   (an 8-bit CR or LF, or the NUL that ends a UTF-16LE CR or LF), so that 8-bit text written
//   into a UTF-16LE log, or after a crash dump read as UTF-16LE, loses no finding.
class TextDecoder {
public:
    TextDecoder() = default;
    // A copy goes on where the other stands; the conversion buffer is its own.
    TextDecoder(const TextDecoder& other)
        : utf16_(other.utf16_),
          logStart_(other.logStart_),
          heldSize_(other.heldSize_),
          utf16Ahead_(other.utf16Ahead_),
          utf16Decoder_(other.utf16Decoder_) {
        std::copy(std::begin(other.held_), std::end(other.held_), std::begin(held_));
    }
    TextDecoder& operator=(const TextDecoder&) = delete;

    void beginLog();
    // In the middle of a log, at a line's start, in 8-bit text.
    void beginPart() {
        beginLog();
        logStart_ = false;
    }
    void feed(const char* data, std::size_t size, LineScanner& lines);
    // No more bytes: whatever is held is what it is.
    void endLog(LineScanner& lines);

    // 8-bit text, nothing held back: where the lines would go on as they began.
    bool reading8Bit() const { return !utf16_ && heldSize_ == 0; }

private:
    void feedAny(const char* p, const char* end, LineScanner& lines, bool complete);
    const char* feedBytes(const char* p, const char* end, LineScanner& lines, bool complete);
    bool feedUtf16(const char* p, const char* end, LineScanner& lines, bool complete,
                   std::string& rest);
    void decodeUtf16(const char* p, const char* end, LineScanner& lines);

    bool utf16_ = false;
    bool logStart_ = true;                   // nothing of the log has been looked at
    char held_[TextForm::kMostNeeded] = {};  // a line's first bytes, too few to tell its form
    std::size_t heldSize_ = 0;
    std::string utf16Ahead_;  // UTF-16LE bytes not yet converted: 8-bit text may begin there
    Utf16Decoder utf16Decoder_;
    std::vector<char> text_;  // UTF-16LE converted, a piece at a time
};

}  // namespace vesk
