#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "text/text_form.h"
#include "text/text_receiver.h"
#include "text/utf16_decoder.h"

namespace vesk {

// The stage in front of the line scanner (its TextReceiver): a log's bytes as the 8-bit text it
// cuts into lines. 8-bit text goes through as it is; UTF-16LE text is converted to the report's
// 8-bit text. The form may change at a line's start, in either direction:
// - 8-bit text becomes UTF-16LE where TextForm says a line's start is UTF-16LE;
// - UTF-16LE text becomes 8-bit text at an 8-bit marker line that stands after a line end byte
//   (an 8-bit CR or LF, or the NUL that ends a UTF-16LE CR or LF), so that 8-bit text written
//   into a UTF-16LE log, or after a crash dump read as UTF-16LE, loses no finding.
// It knows where each byte it hands on lies in the log, converted or not.
class TextDecoder final : public TextPositions {
public:
    TextDecoder() = default;
    // A copy goes on where the other stands; the conversion buffer is its own.
    TextDecoder(const TextDecoder& other)
        : utf16_(other.utf16_),
          logStart_(other.logStart_),
          heldSize_(other.heldSize_),
          heldAt_(other.heldAt_),
          utf16Ahead_(other.utf16Ahead_),
          utf16AheadAt_(other.utf16AheadAt_),
          utf16Decoder_(other.utf16Decoder_),
          position_(other.position_) {
        std::copy(std::begin(other.held_), std::end(other.held_), std::begin(held_));
    }
    TextDecoder& operator=(const TextDecoder&) = delete;

    void beginLog();
    // In the middle of a log, at a line's start in 8-bit text, at that offset.
    void beginPart(std::uint64_t offset) {
        beginLog();
        logStart_ = false;
        position_ = offset;
    }
    void feed(const char* data, std::size_t size, TextReceiver& lines);
    // No more bytes: whatever is held is what it is.
    void endLog(TextReceiver& lines);
    // A byte held back alone at a line's start (a line end, where an empty line may begin UTF-16LE
    // text) is passed on as 8-bit text where the bytes after it, not taken, say it is: true then.
    bool settleHeldByte(const char* next, std::size_t size, TextReceiver& lines);

    // 8-bit text, nothing held back: where the lines would go on as they began.
    bool reading8Bit() const { return !utf16_ && heldSize_ == 0; }
    // Where the next byte fed lies in the log.
    std::uint64_t position() const { return position_; }
    // Where the bytes it holds back begin: those before were handed on.
    std::uint64_t handedTo() const {
        return heldSize_ > 0 ? heldAt_ : utf16_ && !utf16Ahead_.empty() ? utf16AheadAt_ : position_;
    }

    std::uint64_t offsetOf(const char* p) const override;

private:
    // The text being handed to the scanner, and where it lies in the log: bytes as they are, or
    // UTF-16LE converted, whose line starts are found again by counting line ends.
    struct Handed {
        const char* text = nullptr;
        std::uint64_t offset = 0;  // of its first character
        const char* source = nullptr;
        std::size_t sourceSize = 0;  // none: the text is the log's own bytes
        std::uint64_t sourceAt = 0;
        unsigned char oddByte = 0;  // a code unit's first byte from before the source, if any
        bool odd = false;
    };

    void feedAny(const char* p, const char* end, std::uint64_t at, TextReceiver& lines,
                 bool complete);
    const char* feedBytes(const char* p, const char* end, std::uint64_t at, TextReceiver& lines,
                          bool complete);
    bool feedUtf16(const char* p, const char* end, std::uint64_t at, TextReceiver& lines,
                   bool complete, std::string& rest, std::uint64_t& restAt);
    void decodeUtf16(const char* p, const char* end, std::uint64_t at, TextReceiver& lines);
    void scanBytes(const char* p, const char* end, std::uint64_t at, TextReceiver& lines);

    bool utf16_ = false;
    bool logStart_ = true;                   // nothing of the log has been looked at
    char held_[TextForm::kMostNeeded] = {};  // a line's first bytes, too few to tell its form
    std::size_t heldSize_ = 0;
    std::uint64_t heldAt_ = 0;
    std::string utf16Ahead_;  // UTF-16LE bytes not yet converted: 8-bit text may begin there
    std::uint64_t utf16AheadAt_ = 0;
    Utf16Decoder utf16Decoder_;
    std::uint64_t position_ = 0;
    const Handed* handed_ = nullptr;  // while the scanner has it
};

}  // namespace vesk
