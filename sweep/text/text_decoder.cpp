#include "text/text_decoder.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace vesk {
namespace {

// UTF-16LE is converted this many bytes at a time.
constexpr std::size_t kUtf16Piece = 16 * 1024;
// UTF-16LE bytes held back at the end of what has arrived, for an 8-bit marker line that may
// begin there: the marker, and a stamp of up to this much less.
constexpr std::size_t kUtf16LookAhead = 64;

// The first 8-bit marker line in [first, last), standing after a line end byte: an 8-bit CR or LF,
// or the NUL of a UTF-16LE one. A line end before first + 2 is not looked at.
const char* find8BitMarkerLine(const char* first, const char* last) {
    const std::string_view text(first, static_cast<std::size_t>(last - first));
    const auto startsLine = [](const char* line) {
        return MarkerFilter::isLineEnd(line[-1]) ||
               (line[-1] == '\0' && MarkerFilter::isLineEnd(line[-2]));
    };
    for (std::size_t at = text.find(MarkerFilter::marker, 2); at != std::string_view::npos;
         at = text.find(MarkerFilter::marker, at + 1)) {
        if (const char* line = MarkerFilter::markerLineStart(first + 2, first + at, startsLine)) {
            return line;
        }
    }
    return nullptr;
}

}  // namespace

void TextDecoder::beginLog() {
    utf16_ = false;
    logStart_ = true;
    heldSize_ = 0;
    utf16Ahead_.clear();
    utf16Decoder_ = {};
}

void TextDecoder::feed(const char* data, std::size_t size, LineScanner& lines) {
    // Bytes held back at a line's start are read again with those that follow them.
    while (heldSize_ > 0 && size > 0) {
        char bytes[sizeof held_];
        const std::size_t taken = std::min(size, sizeof held_ - heldSize_);
        std::memcpy(bytes, held_, heldSize_);
        std::memcpy(bytes + heldSize_, data, taken);
        const std::size_t count = heldSize_ + taken;
        heldSize_ = 0;
        data += taken;
        size -= taken;
        feedAny(bytes, bytes + count, lines, false);
    }
    feedAny(data, data + size, lines, false);
}

void TextDecoder::endLog(LineScanner& lines) {
    const std::string held(held_, heldSize_);
    heldSize_ = 0;
    feedAny(held.data(), held.data() + held.size(), lines, true);
    if (utf16_) {
        char tail[4];
        lines.scan(tail, tail + utf16Decoder_.finish(tail), false);
    }
    lines.endLog();
}

void TextDecoder::feedAny(const char* p, const char* end, LineScanner& lines, bool complete) {
    std::string rest;  // 8-bit text that follows UTF-16LE text
    for (;;) {
        if (utf16_) {
            if (!feedUtf16(p, end, lines, complete, rest)) {
                return;
            }
            p = rest.data();
            end = p + rest.size();
        }
        if (p == end) {
            return;
        }
        p = feedBytes(p, end, lines, complete);
    }
}

// 8-bit text up to where UTF-16LE text begins, or to the end.
const char* TextDecoder::feedBytes(const char* p, const char* end, LineScanner& lines,
                                   bool complete) {
    while (p != end) {
        const char* at = logStart_ ? p : lines.scan(p, end, true);
        if (at == end) {
            break;
        }
        const TextForm form =
            TextForm::at(at, static_cast<std::size_t>(end - at), logStart_, complete);
        const bool logStart = std::exchange(logStart_, false);
        switch (form.kind) {
            case TextForm::Kind::needMore:
                logStart_ = logStart;
                std::memcpy(held_, at, static_cast<std::size_t>(end - at));
                heldSize_ = static_cast<std::size_t>(end - at);
                return end;
            case TextForm::Kind::utf8Mark:
                p = at + form.skip;  // the line after the mark is looked at again
                break;
            case TextForm::Kind::bytes:
                lines.formKnown();
                p = at;
                break;
            case TextForm::Kind::utf16:
                utf16_ = true;
                return at + form.skip;
        }
    }
    return end;
}

// UTF-16LE text up to an 8-bit marker line, whose text from there on is handed back in rest.
bool TextDecoder::feedUtf16(const char* p, const char* end, LineScanner& lines, bool complete,
                            std::string& rest) {
    if (p != end) {
        utf16Ahead_.append(p, static_cast<std::size_t>(end - p));
    }
    const char* const first = utf16Ahead_.data();
    const char* const last = first + utf16Ahead_.size();
    if (const char* line = find8BitMarkerLine(first, last)) {
        decodeUtf16(first, line, lines);
        char tail[4];
        lines.scan(tail, tail + utf16Decoder_.finish(tail), false);
        lines.breakLine();
        lines.formKnown();
        utf16_ = false;
        rest.assign(line, last);
        utf16Ahead_.clear();
        return true;
    }
    const std::size_t kept = complete ? 0 : std::min(utf16Ahead_.size(), kUtf16LookAhead);
    decodeUtf16(first, last - kept, lines);
    utf16Ahead_.erase(0, utf16Ahead_.size() - kept);
    return false;
}

void TextDecoder::decodeUtf16(const char* p, const char* end, LineScanner& lines) {
    text_.resize(Utf16Decoder::maxOutput(kUtf16Piece));
    while (p != end) {
        const std::size_t size = std::min(kUtf16Piece, static_cast<std::size_t>(end - p));
        const std::size_t n = utf16Decoder_.decode(p, size, text_.data());
        lines.scan(text_.data(), text_.data() + n, false);
        p += size;
    }
}

}  // namespace vesk
