#include "window/mounted_drives.h"

// The drive letter in small letters, as the drive list shows it, and the label.
std::string Drive::text() const {
    std::string letter;
    for (wchar_t c : root.native().substr(0, 2)) {
        letter += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return label.empty() ? letter : letter + " [" + label + "]";
}

std::vector<Drive> mountedDrives() {
    std::vector<Drive> drives;
    for (const auto& volume : mountedVolumes()) {
        drives.push_back({volume.root, volume.label});
    }
    return drives;
}
