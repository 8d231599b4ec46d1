#include "text/text_decoder.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace vesk {
namespace {

// UTF-16LE is converted this many bytes at a time.
constexpr std::size_t kUtf16Piece = 16 * 1024;
}  // namespace

void TextDecoder::beginLog() {
    utf16_ = false;
    logStart_ = true;
    heldSize_ = 0;
    utf16Ahead_.clear();
    utf16Decoder_ = {};
    position_ = 0;
}

void TextDecoder::feed(const char* data, std::size_t size, TextReceiver& lines) {
    std::uint64_t at = position_;
    position_ += size;
    // Bytes held back at a line's start are read again with those that follow them.
    while (heldSize_ > 0 && size > 0) {
        char bytes[sizeof held_];
        const std::size_t taken = std::min(size, sizeof held_ - heldSize_);
        std::memcpy(bytes, held_, heldSize_);
        std::memcpy(bytes + heldSize_, data, taken);
        const std::size_t count = heldSize_ + taken;
        const std::uint64_t bytesAt = heldAt_;
        heldSize_ = 0;
        data += taken;
        size -= taken;
        at += taken;
        feedAny(bytes, bytes + count, bytesAt, lines, false);
    }
    feedAny(data, data + size, at, lines, false);
}

bool TextDecoder::settleHeldByte(const char* next, std::size_t size, TextReceiver& lines) {
    if (heldSize_ != 1 || utf16_) {
        return false;
    }
    char bytes[sizeof held_];
    bytes[0] = held_[0];
    const std::size_t taken = std::min(size, sizeof held_ - 1);
    std::memcpy(bytes + 1, next, taken);
    if (TextForm::at(bytes, 1 + taken, logStart_, false).kind != TextForm::Kind::bytes) {
        return false;
    }
    heldSize_ = 0;
    logStart_ = false;
    lines.formKnown();
    const Handed handed{bytes, heldAt_};
    handed_ = &handed;
    lines.scan(bytes, bytes + 1, true);
    return true;
}

void TextDecoder::endLog(TextReceiver& lines) {
    const std::string held(held_, heldSize_);
    heldSize_ = 0;
    feedAny(held.data(), held.data() + held.size(), heldAt_, lines, true);
    if (utf16_) {
        char tail[4];
        scanBytes(tail, tail + utf16Decoder_.finish(tail), position_, lines);
    }
    lines.endLog();
}

std::uint64_t TextDecoder::offsetOf(const char* p) const {
    const Handed& h = *handed_;
    if (h.source == nullptr || p == h.text) {
        return h.offset + static_cast<std::uint64_t>(p - h.text);
    }
    // A line starts right after a line end, which converted text has as a byte of its own for
    // each CR or LF code unit: the line starts after as many of those in the source.
    const auto isLineEnd = [](unsigned unit) { return unit == '\r' || unit == '\n'; };
    auto ends = static_cast<std::size_t>(
        std::count_if(h.text, p, [&](char c) { return isLineEnd(static_cast<unsigned char>(c)); }));
    const auto* source = reinterpret_cast<const unsigned char*>(h.source);
    const std::uint64_t sourceAt = h.sourceAt;
    std::size_t i = 0;
    if (h.odd && h.sourceSize > 0) {
        if (isLineEnd(h.oddByte | (source[0] << 8)) && --ends == 0) {
            return sourceAt + 1;
        }
        i = 1;
    }
    for (; i + 1 < h.sourceSize; i += 2) {
        if (isLineEnd(source[i] | (source[i + 1] << 8)) && --ends == 0) {
            return sourceAt + i + 2;
        }
    }
    return sourceAt + h.sourceSize;
}

void TextDecoder::feedAny(const char* p, const char* end, std::uint64_t at, TextReceiver& lines,
                          bool complete) {
    std::string rest;  // 8-bit text that follows UTF-16LE text
    for (;;) {
        if (utf16_) {
            if (!feedUtf16(p, end, at, lines, complete, rest, at)) {
                return;
            }
            p = rest.data();
            end = p + rest.size();
        }
        if (p == end) {
            return;
        }
        const char* next = feedBytes(p, end, at, lines, complete);
        at += static_cast<std::uint64_t>(next - p);
        p = next;
    }
}

void TextDecoder::scanBytes(const char* p, const char* end, std::uint64_t at, TextReceiver& lines) {
    const Handed handed{p, at};
    handed_ = &handed;
    lines.scan(p, end, false);
}

// 8-bit text up to where UTF-16LE text begins, or to the end.
const char* TextDecoder::feedBytes(const char* p, const char* end, std::uint64_t at,
                                   TextReceiver& lines, bool complete) {
    const Handed handed{p, at};
    handed_ = &handed;
    const char* const base = p;
    while (p != end) {
        const char* line = logStart_ ? p : lines.scan(p, end, true);
        if (line == end) {
            break;
        }
        const TextForm form =
            TextForm::at(line, static_cast<std::size_t>(end - line), logStart_, complete);
        const bool logStart = std::exchange(logStart_, false);
        switch (form.kind) {
            case TextForm::Kind::needMore:
                logStart_ = logStart;
                std::memcpy(held_, line, static_cast<std::size_t>(end - line));
                heldSize_ = static_cast<std::size_t>(end - line);
                heldAt_ = at + static_cast<std::uint64_t>(line - base);
                return end;
            case TextForm::Kind::utf8Mark:
                p = line + form.skip;  // the line after the mark is looked at again
                break;
            case TextForm::Kind::bytes:
                lines.formKnown();
                p = line;
                break;
            case TextForm::Kind::utf16:
                utf16_ = true;
                return line + form.skip;
        }
    }
    return end;
}

// UTF-16LE text up to an 8-bit marker line, whose text from there on is handed back in rest,
// with where it lies in restAt.
bool TextDecoder::feedUtf16(const char* p, const char* end, std::uint64_t at, TextReceiver& lines,
                            bool complete, std::string& rest, std::uint64_t& restAt) {
    if (utf16Ahead_.empty()) {
        utf16AheadAt_ = at;
    }
    if (p != end) {
        utf16Ahead_.append(p, static_cast<std::size_t>(end - p));
    }
    const char* const first = utf16Ahead_.data();
    const char* const last = first + utf16Ahead_.size();
    if (const char* line = lines.find8BitMarkerLine(first, last)) {
        const std::uint64_t lineAt = utf16AheadAt_ + static_cast<std::uint64_t>(line - first);
        decodeUtf16(first, line, utf16AheadAt_, lines);
        char tail[4];
        scanBytes(tail, tail + utf16Decoder_.finish(tail), lineAt, lines);
        lines.breakLine();
        lines.formKnown();
        utf16_ = false;
        restAt = lineAt;
        rest.assign(line, last);
        utf16Ahead_.clear();
        return true;
    }
    const std::size_t kept = complete ? 0 : lines.heldForMarkerLine(first, last);
    decodeUtf16(first, last - kept, utf16AheadAt_, lines);
    utf16AheadAt_ += utf16Ahead_.size() - kept;
    utf16Ahead_.erase(0, utf16Ahead_.size() - kept);
    return false;
}

void TextDecoder::decodeUtf16(const char* p, const char* end, std::uint64_t at,
                              TextReceiver& lines) {
    // The converted text, shared by the decoders of the thread: it lasts only the call.
    thread_local std::vector<char> text(Utf16Decoder::maxOutput(kUtf16Piece));
    while (p != end) {
        const std::size_t size = std::min(kUtf16Piece, static_cast<std::size_t>(end - p));
        // A character begun before these bytes began where its first byte lay.
        const std::uint64_t back = (utf16Decoder_.oddBytePending() ? 1 : 0) +
                                   (utf16Decoder_.highSurrogatePending() ? 2 : 0);
        const Handed handed{text.data(),
                            at - back,
                            p,
                            size,
                            at,
                            utf16Decoder_.oddByte(),
                            utf16Decoder_.oddBytePending()};
        handed_ = &handed;
        const std::size_t n = utf16Decoder_.decode(p, size, text.data());
        lines.scan(text.data(), text.data() + n, false);
        p += size;
        at += size;
    }
}

}  // namespace vesk
