#include "mounted_drives.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

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

bool isPickableType(std::string_view type, std::string_view mountPoint) {
    if (type == "overlay") {  // a container's root
        return mountPoint == "/";
    }
    if (type.starts_with("fuse.")) {
        return !isOneOf(type, kDesktopPlumbing);
    }
    return isOneOf(type, kDiskFileSystems);
}

bool isUnder(std::string_view path, std::string_view folder) {
    return path == folder || (path.starts_with(folder) && path[folder.size()] == '/');
}

bool isSystemPlace(std::string_view mountPoint) {
    if (isUnder(mountPoint, "/run/media")) {
        return false;
    }
    return std::any_of(kSystemFolders.begin(), kSystemFolders.end(),
                       [&](const char* folder) { return isUnder(mountPoint, folder); });
}

// mountinfo writes blanks and a few other bytes in names as \ooo.
std::string unescapeOctal(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const auto end = std::min(line.find(' '), line.size());
        fields.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return fields;
}

std::string deviceName(const std::string& source) {
    return source.starts_with("/dev/") ? source.substr(5) : source;
}

}  // namespace

std::string Drive::text() const {
#ifdef _WIN32
    std::string letter;
    for (wchar_t c : root.native().substr(0, 2)) {
        letter += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return label.empty() ? letter : letter + " [" + label + "]";
#else
    return root.string() + " [" + label + "]";
#endif
}

std::vector<Drive> pickableDrives(std::string_view mountInfo, const LabelLookup& labelOf,
                                  const FolderTest& isFolder) {
    std::vector<Drive> drives;
    std::istringstream lines{std::string(mountInfo)};
    for (std::string line; std::getline(lines, line);) {
        const auto fields = splitFields(line);
        const auto separator = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || std::distance(separator, fields.end()) < 3) {
            continue;
        }
        const std::string mountPoint = unescapeOctal(fields[4]);
        const std::string_view type = *(separator + 1);
        const std::string source = unescapeOctal(*(separator + 2));
        if (!isPickableType(type, mountPoint) || isSystemPlace(mountPoint) ||
            !isFolder(mountPoint)) {
            continue;
        }
        const std::string label = labelOf(source);
        Drive drive{mountPoint, label.empty() ? deviceName(source) : label};
        // A later mount over the same place hides the earlier one.
        std::erase_if(drives, [&](const Drive& d) { return d.root == drive.root; });
        drives.push_back(std::move(drive));
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return drives;
}

int driveOf(const std::vector<Drive>& drives, const std::filesystem::path& folder) {
    int best = -1;
    std::size_t bestDepth = 0;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const auto& root = drives[i].root;
        const auto [rootEnd, folderAt] =
            std::mismatch(root.begin(), root.end(), folder.begin(), folder.end());
        const auto depth = static_cast<std::size_t>(std::distance(root.begin(), root.end()));
        const bool contains = rootEnd == root.end() || (std::next(rootEnd) == root.end() &&
                                                        rootEnd->empty());  // trailing separator
        if (contains && (best < 0 || depth > bestDepth)) {
            best = static_cast<int>(i);
            bestDepth = depth;
        }
    }
    return best;
}

#ifdef _WIN32

std::vector<Drive> mountedDrives() {
    std::vector<Drive> drives;
    wchar_t roots[512];
    const DWORD length = GetLogicalDriveStringsW(512, roots);
    for (const wchar_t* root = roots; root < roots + length && *root != 0;
         root += wcslen(root) + 1) {
        wchar_t label[MAX_PATH + 1] = L"";
        GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
        char utf8[4 * (MAX_PATH + 1)] = "";
        WideCharToMultiByte(CP_UTF8, 0, label, -1, utf8, sizeof utf8, nullptr, nullptr);
        drives.push_back({root, utf8});
    }
    return drives;
}

#else

namespace {

// /dev/disk/by-label names its links with \xNN for awkward bytes.
std::string unescapeHex(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size()) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::map<std::string, std::string> volumeLabels() {
    std::map<std::string, std::string> labels;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkError;
        const auto device = std::filesystem::canonical(it->path(), linkError);
        if (!linkError) {
            labels[device.string()] = unescapeHex(it->path().filename().string());
        }
    }
    return labels;
}

}  // namespace

std::vector<Drive> mountedDrives() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    const auto labels = volumeLabels();
    // A mount names its device by whatever link it was given, such as /dev/mapper/x.
    const auto labelOf = [&](const std::string& source) {
        std::error_code ec;
        const auto device = std::filesystem::canonical(source, ec);
        const auto found = labels.find(ec ? source : device.string());
        return found != labels.end() ? found->second : std::string();
    };
    const auto isFolder = [](const std::filesystem::path& path) {
        std::error_code ec;
        return std::filesystem::is_directory(path, ec);
    };
    auto drives = pickableDrives(text.str(), labelOf, isFolder);
    if (drives.empty()) {
        drives.push_back({"/", "root"});
    }
    return drives;
}

#endif
