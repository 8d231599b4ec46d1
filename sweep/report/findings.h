#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/scratch_file.h"

namespace vesk {

// Where the findings that wait to be written are kept: in memory up to a budget shared by all of
// them, and beyond it in a scratch file of their own, so that memory does not grow with what the
// logs hold. Findings of several threads may share one.
class FindingSpool {
public:
    explicit FindingSpool(std::size_t memoryBudget) : budget_(memoryBudget) {}

    struct Extent {
        std::uint64_t offset;
        std::uint64_t size;
    };

    // Whether size more bytes may be kept in memory; counted as kept when so.
    bool keepInMemory(std::size_t size);
    void releaseMemory(std::size_t size);
    // Stores the bytes in the scratch file; false when it cannot be had or written.
    bool store(std::string_view bytes, Extent& stored);
    // Reads a stored extent back in pieces of at most the buffer's size.
    template <typename Piece>
    void readBack(Extent extent, std::span<char> buffer, Piece piece, std::error_code& ec) {
        while (extent.size > 0 && !ec) {
            const auto size =
                static_cast<std::size_t>(std::min<std::uint64_t>(extent.size, buffer.size()));
            read(extent.offset, buffer.data(), size, ec);
            if (!ec) {
                piece(std::string_view(buffer.data(), size));
            }
            extent.offset += size;
            extent.size -= size;
        }
    }
    // Bytes in the scratch file that no findings refer to any more, which are reused once all of
    // them are.
    void forget(Extent extent);
    void read(std::uint64_t offset, char* data, std::size_t size, std::error_code& ec);

private:
    std::mutex mutex_;
    const std::size_t budget_;
    std::size_t inMemory_ = 0;
    std::unique_ptr<ScratchFile> file_;
    bool unavailable_ = false;
    std::uint64_t end_ = 0;
    std::uint64_t live_ = 0;
};

// Lines that passed, each followed by CR LF, kept until they are written. The bytes stay in memory
// while the spool's budget allows, and move to its scratch file in large pieces beyond it.
class Findings {
public:
    explicit Findings(FindingSpool& spool) : spool_(&spool) {}
    Findings(Findings&& other) noexcept;
    Findings& operator=(Findings&& other) noexcept;
    Findings(const Findings&) = delete;
    Findings& operator=(const Findings&) = delete;
    ~Findings();

    void append(std::string_view piece);
    // Other's bytes after these, other left empty. Its chunks in memory are taken as they are,
    // not copied, where none of its bytes are in the scratch file; ec where those could not be
    // read back.
    void append(Findings&& other, std::span<char> buffer, std::error_code& ec);
    void clear();
    std::uint64_t size() const { return stored() + inMemory(); }
    FindingSpool& spool() const { return *spool_; }
    bool empty() const { return size() == 0; }

    // Hands over the bytes in order, those in the scratch file read back through the buffer.
    template <typename Piece>
    void forEachPiece(std::span<char> buffer, Piece piece, std::error_code& ec) const {
        if (more_ != nullptr) {
            for (const auto& extent : more_->extents) {
                spool_->readBack(extent, buffer, piece, ec);
            }
            for (const auto& chunk : more_->full) {
                if (!ec) {
                    piece(std::string_view(chunk));
                }
            }
        }
        if (!ec && !memory_.empty()) {
            piece(std::string_view(memory_));
        }
    }

    // The lines held, as far as `lines` of them: text(piece) with each piece of a line, then
    // lineEnd() once it has ended. No line holds a CR or LF: each LF ends one, the CR before it
    // aside.
    template <typename Text, typename LineEnd>
    void forEachLine(std::uint64_t lines, std::span<char> buffer, Text text, LineEnd lineEnd,
                     std::error_code& ec) const {
        std::uint64_t ended = 0;
        forEachPiece(
            buffer,
            [&](std::string_view piece) {
                for (std::size_t at = 0; at < piece.size() && ended < lines;) {
                    const std::size_t end = std::min(piece.find('\n', at), piece.size());
                    std::string_view part = piece.substr(at, end - at);
                    if (!part.empty() && part.back() == '\r') {
                        part.remove_suffix(1);
                    }
                    text(part);
                    if (end < piece.size()) {
                        lineEnd();
                        ++ended;
                    }
                    at = end + 1;
                }
            },
            ec);
    }

    // Hands over the bytes in order a few at a time, as a reader asks for them.
    class Cursor {
    public:
        explicit Cursor(const Findings& findings) : findings_(findings) {}
        // The next size bytes; false where fewer are left, or the scratch file fails (ec).
        bool next(char* out, std::size_t size, std::error_code& ec);

    private:
        const Findings& findings_;
        std::size_t segment_ = 0;  // the extents in the scratch file, the chunks, then the rest
        std::uint64_t at_ = 0;     // within it
        // Of an extent, the bytes read ahead from where they begin in it: a reader asks for a few
        // at a time.
        std::vector<char> ahead_;
        std::uint64_t aheadAt_ = 0;
    };

private:
    // What more than a chunk takes, apart, so that the findings of the many logs that have few
    // cost little: the bytes in the scratch file, then the full chunks in memory. A chunk is never
    // grown past about twice its size, so that the bytes held are not copied into ever larger
    // strings, each copy holding twice as much for a moment.
    struct More {
        std::vector<FindingSpool::Extent> extents;
        std::uint64_t stored = 0;
        std::vector<std::string> full;
        std::size_t inChunks = 0;
    };

    std::uint64_t stored() const { return more_ != nullptr ? more_->stored : 0; }
    std::size_t inMemory() const {
        return (more_ != nullptr ? more_->inChunks : 0) + memory_.size();
    }
    More& more();
    void closeChunk();
    void addExtent(FindingSpool::Extent extent);
    void count();
    void spill();

    FindingSpool* spool_;
    std::string memory_;       // the chunk being filled
    std::size_t counted_ = 0;  // of the bytes in memory, counted against the spool's budget
    std::unique_ptr<More> more_;
};

}  // namespace vesk
