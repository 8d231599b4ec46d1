#include "sweep/printable.h"

#include "text/printable_text.h"

namespace vesk {

std::string printable(const std::filesystem::path& path) {
    return printableText(path.native());
}

}  // namespace vesk
