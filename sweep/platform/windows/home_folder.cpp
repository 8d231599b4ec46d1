#include "sweep/home_folder.h"

namespace vesk {

std::filesystem::path homeFolder() {
    return L"c:\\";
}

}  // namespace vesk
