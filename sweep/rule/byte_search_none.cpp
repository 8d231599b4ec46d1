#include "rule/byte_search.h"

namespace vesk {

// A processor without a vector search of ours: the portable search alone.
std::vector<ByteSearch> vectorSearches() {
    return {};
}

}  // namespace vesk
