#include "rule/byte_search.h"

#include "rule/search_kernel.h"

namespace vesk {
namespace {

const char* findMarkerLinePortable(const char* first, const char* last, bool watchNul) {
    return search::findMarkerLinePortable({first, last, watchNul}, first);
}

}  // namespace

std::span<const ByteSearch> byteSearches() {
    static const std::vector<ByteSearch> searches = [] {
        std::vector<ByteSearch> all = vectorSearches();
        all.push_back({"portable", search::findLineEndPortable, findMarkerLinePortable});
        return all;
    }();
    return searches;
}

}  // namespace vesk
