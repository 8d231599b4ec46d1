#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// What the decoder hands its 8-bit text to: the line scanner, which stands behind it. Declared
// here so that text/ knows nothing of the rule, and rule/ may build on the text's forms.
class TextReceiver {
public:
    // Takes the text from p to end. When watchForm, stops at the start of a line that may be text
    // of another form, unless formKnown() was called for it: returns where it stopped, else end.
    virtual const char* scan(const char* p, const char* end, bool watchForm) = 0;
    // The line about to start is 8-bit text.
    virtual void formKnown() = 0;
    // The text changes its form here: an open line ends with it.
    virtual void breakLine() = 0;
    // The last line needs no line end.
    virtual void endLog() = 0;

    // Where UTF-16LE text goes back to 8-bit: the first 8-bit marker line in the bytes [first,
    // last) that stands after a line end byte (an 8-bit CR or LF, or the NUL of a UTF-16LE one),
    // else null. A line end before first + 2 is not looked at. The marker is the rule's to know.
    virtual const char* find8BitMarkerLine(const char* first, const char* last) const = 0;
    // How many bytes at the end of such UTF-16LE text to hold back, as an 8-bit marker line may
    // begin there that has not arrived whole.
    virtual std::size_t heldForMarkerLine(const char* first, const char* last) const = 0;

protected:
    ~TextReceiver() = default;
};

// Where a byte of the text the receiver is handed lies in the log: only the decoder knows, as it
// may have converted the text or held some of it back.
class TextPositions {
public:
    virtual std::uint64_t offsetOf(const char* p) const = 0;

protected:
    ~TextPositions() = default;
};

}  // namespace vesk
