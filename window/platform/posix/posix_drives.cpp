#include <algorithm>
#include <array>
#include <string_view>

#include "window/mounted_drives.h"

namespace {

constexpr std::array kDiskFileSystems = {
    "ext2", "ext3",  "ext4", "xfs",   "btrfs",   "f2fs", "jfs",     "reiserfs", "zfs",
    "vfat", "exfat", "ntfs", "ntfs3", "fuseblk", "hfs",  "hfsplus", "iso9660",  "udf",
    "nfs",  "nfs4",  "cifs", "smb3",  "smbfs",   "9p",   "virtiofs"};

constexpr std::array kDesktopPlumbing = {"fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
                                         "fuse.snapfuse", "fuse.xdg-document-portal"};

constexpr std::array kSystemFolders = {
    "/proc",    "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib/docker", "/var/lib/containers",
    "/var/snap"};

template <std::size_t N>
bool isOneOf(std::string_view value, const std::array<const char*, N>& set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

bool isPickableType(std::string_view type, const std::filesystem::path& root) {
    if (type == "overlay") {  // a container's root
        return root == "/";
    }
    if (type.starts_with("fuse.")) {
        return !isOneOf(type, kDesktopPlumbing);
    }
    return isOneOf(type, kDiskFileSystems);
}

bool isUnder(const std::filesystem::path& path, const std::filesystem::path& folder) {
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first ==
           folder.end();
}

bool isSystemPlace(const std::filesystem::path& root) {
    if (isUnder(root, "/run/media")) {
        return false;
    }
    return std::any_of(kSystemFolders.begin(), kSystemFolders.end(),
                       [&](const char* folder) { return isUnder(root, folder); });
}

std::string deviceName(const std::string& device) {
    return device.starts_with("/dev/") ? device.substr(5) : device;
}

}  // namespace

std::string Drive::text() const {
    return root.string() + " [" + label + "]";
}

std::vector<Drive> pickableDrives(const std::vector<Volume>& volumes, const FolderTest& isFolder) {
    std::vector<Drive> drives;
    for (const auto& volume : volumes) {
        if (!isPickableType(volume.type, volume.root) || isSystemPlace(volume.root) ||
            !isFolder(volume.root)) {
            continue;
        }
        Drive drive{volume.root, volume.label.empty() ? deviceName(volume.device) : volume.label};
        // A later mount over the same place hides the earlier one.
        std::erase_if(drives, [&](const Drive& d) { return d.root == drive.root; });
        drives.push_back(std::move(drive));
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return drives;
}

std::vector<Drive> mountedDrives() {
    const auto isFolder = [](const std::filesystem::path& path) {
        std::error_code ec;
        return std::filesystem::is_directory(path, ec);
    };
    auto drives = pickableDrives(mountedVolumes(), isFolder);
    if (drives.empty()) {
        drives.push_back({"/", "root"});
    }
    return drives;
}
