#include "report/findings.h"

#include <algorithm>
#include <utility>

namespace vesk {
namespace {

// Bytes added are counted against the budget, or moved to the scratch file, once there are this
// many: few enough that the uncounted rest of many logs stays small, enough that the pieces in the
// scratch file stay few.
constexpr std::size_t kCountEvery = 4 * 1024;
// A chunk in memory is closed once it holds this much and more would not fit.
constexpr std::size_t kChunk = 64 * 1024;
// What a cursor reads of the scratch file at once.
constexpr std::size_t kReadAhead = 4 * 1024;

}  // namespace

bool FindingSpool::keepInMemory(std::size_t size) {
    const std::lock_guard lock(mutex_);
    if (inMemory_ + size > budget_ && !unavailable_) {
        return false;
    }
    inMemory_ += size;  // beyond the budget only where no scratch file can be had
    return true;
}

void FindingSpool::releaseMemory(std::size_t size) {
    const std::lock_guard lock(mutex_);
    inMemory_ -= size;
}

bool FindingSpool::store(std::string_view bytes, Extent& stored) {
    const std::lock_guard lock(mutex_);
    if (file_ == nullptr && !unavailable_) {
        std::error_code ec;
        file_ = openScratchFile(ec);
        unavailable_ = file_ == nullptr;
    }
    if (unavailable_) {
        return false;
    }
    std::error_code ec;
    file_->writeAt(end_, bytes.data(), bytes.size(), ec);
    if (ec) {
        return false;
    }
    stored = {end_, bytes.size()};
    end_ += bytes.size();
    live_ += bytes.size();
    return true;
}

void FindingSpool::forget(Extent extent) {
    const std::lock_guard lock(mutex_);
    file_->discard(extent.offset, extent.size);
    live_ -= extent.size;
    if (live_ == 0) {
        end_ = 0;  // all of it free again: written over from the start
    }
}

void FindingSpool::read(std::uint64_t offset, char* data, std::size_t size, std::error_code& ec) {
    const std::lock_guard lock(mutex_);
    file_->readAt(offset, data, size, ec);
}

Findings::Findings(Findings&& other) noexcept : spool_(other.spool_) {
    *this = std::move(other);
}

Findings& Findings::operator=(Findings&& other) noexcept {
    if (this != &other) {
        clear();
        spool_ = other.spool_;
        memory_ = std::exchange(other.memory_, std::string());
        counted_ = std::exchange(other.counted_, 0);
        more_ = std::move(other.more_);
    }
    return *this;
}

Findings::~Findings() {
    clear();
}

Findings::More& Findings::more() {
    if (more_ == nullptr) {
        more_ = std::make_unique<More>();
    }
    return *more_;
}

void Findings::closeChunk() {
    More& more = this->more();
    more.inChunks += memory_.size();
    more.full.push_back(std::move(memory_));
    memory_ = std::string();
}

void Findings::append(std::string_view piece) {
    // Past the budget, a large piece goes to the scratch file as it is, after what memory holds,
    // not through memory.
    if (piece.size() >= kCountEvery) {
        if (spool_->keepInMemory(piece.size())) {
            counted_ += piece.size();
        } else {
            if (inMemory() > 0) {
                spill();
            }
            if (FindingSpool::Extent stored{}; inMemory() == 0 && spool_->store(piece, stored)) {
                addExtent(stored);
                return;
            }
        }
    }
    if (memory_.size() >= kChunk && memory_.size() + piece.size() > memory_.capacity()) {
        closeChunk();
    }
    if (memory_.size() >= kCountEvery && memory_.capacity() < kChunk) {
        memory_.reserve(kChunk);
    }
    memory_.append(piece);
    count();
}

void Findings::append(Findings&& other, std::span<char> buffer, std::error_code& ec) {
    // A few bytes are copied rather than leave a small chunk behind.
    const bool take = other.spool_ == spool_ && other.stored() == 0 &&
                      (memory_.empty() || other.inMemory() >= kCountEvery);
    if (!take) {
        other.forEachPiece(
            buffer, [&](std::string_view piece) { append(piece); }, ec);
        other.clear();
        return;
    }
    if (!memory_.empty()) {
        closeChunk();
    }
    if (other.more_ != nullptr) {
        for (std::string& chunk : other.more_->full) {
            more().inChunks += chunk.size();
            more().full.push_back(std::move(chunk));
        }
        other.more_.reset();
    }
    memory_ = std::exchange(other.memory_, std::string());
    counted_ += std::exchange(other.counted_, 0);
    count();
}

// The bytes not yet counted against the budget, once there are enough of them.
void Findings::count() {
    const std::size_t uncounted = inMemory() - counted_;
    if (uncounted >= kCountEvery) {
        if (spool_->keepInMemory(uncounted)) {
            counted_ += uncounted;
        } else {
            spill();
        }
    }
}

void Findings::clear() {
    if (more_ != nullptr) {
        for (const auto& extent : more_->extents) {
            spool_->forget(extent);
        }
        more_.reset();
    }
    if (counted_ > 0) {
        spool_->releaseMemory(counted_);
        counted_ = 0;
    }
    memory_.clear();
}

void Findings::addExtent(FindingSpool::Extent extent) {
    More& more = this->more();
    auto& extents = more.extents;
    if (!extents.empty() && extents.back().offset + extents.back().size == extent.offset) {
        extents.back().size += extent.size;
    } else {
        extents.push_back(extent);
    }
    more.stored += extent.size;
}

// The budget is spent: what memory holds goes to the scratch file, or stays where there is none.
void Findings::spill() {
    More& more = this->more();
    const auto store = [&](std::string& bytes) {
        FindingSpool::Extent stored{};
        if (!spool_->store(bytes, stored)) {
            return false;
        }
        addExtent(stored);
        return true;
    };
    // The bytes counted are the first ones kept.
    const auto release = [&](std::size_t size) {
        const std::size_t released = std::min(counted_, size);
        spool_->releaseMemory(released);
        counted_ -= released;
    };
    while (!more.full.empty()) {
        if (!store(more.full.front())) {
            return;
        }
        release(more.full.front().size());
        more.inChunks -= more.full.front().size();
        more.full.erase(more.full.begin());
    }
    if (!store(memory_)) {
        return;
    }
    release(memory_.size());
    memory_.clear();
    memory_.shrink_to_fit();
}

bool Findings::Cursor::next(char* out, std::size_t size, std::error_code& ec) {
    const Findings& f = findings_;
    static const Findings::More kNone;
    const Findings::More& more = f.more_ != nullptr ? *f.more_ : kNone;
    while (size > 0 && !ec) {
        const std::size_t extents = more.extents.size();
        const std::size_t chunks = more.full.size();
        if (segment_ > extents + chunks) {
            return false;
        }
        std::uint64_t length = 0;
        if (segment_ < extents) {
            length = more.extents[segment_].size;
        } else {
            length = segment_ < extents + chunks ? more.full[segment_ - extents].size()
                                                 : f.memory_.size();
        }
        auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - at_));
        if (segment_ < extents) {
            if (at_ < aheadAt_ || at_ >= aheadAt_ + ahead_.size()) {
                ahead_.resize(
                    static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, length - at_)));
                aheadAt_ = at_;
                f.spool_->read(more.extents[segment_].offset + at_, ahead_.data(), ahead_.size(),
                               ec);
            }
            taken = std::min(taken, static_cast<std::size_t>(aheadAt_ + ahead_.size() - at_));
            std::copy_n(ahead_.data() + (at_ - aheadAt_), taken, out);
        } else {
            const std::string& bytes =
                segment_ < extents + chunks ? more.full[segment_ - extents] : f.memory_;
            std::copy_n(bytes.data() + at_, taken, out);
        }
        out += taken;
        size -= taken;
        at_ += taken;
        if (at_ == length) {
            ++segment_;
            at_ = 0;
            ahead_.clear();
            aheadAt_ = 0;
        }
    }
    return !ec && size == 0;
}

}  // namespace vesk
