#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The drives an operator can pick: on Linux the mounted file systems that hold files a person
// works with (the root, /home, removable media, network shares), not the kernel's pseudo file
// systems nor a container's plumbing; on Windows the drive letters.
struct Drive {
    std::filesystem::path root;
    std::string label;  // the volume label, else the device's name

    // The drive list's entry: the root, a blank and the label in square brackets.
    std::string text() const;
};

std::vector<Drive> mountedDrives();

// The volume label of a mount's source, or nothing.
using LabelLookup = std::function<std::string(const std::string& source)>;
using FolderTest = std::function<bool(const std::filesystem::path&)>;

// The drives of a /proc/self/mountinfo text. isFolder weeds out single files mounted over others.
std::vector<Drive> pickableDrives(std::string_view mountInfo, const LabelLookup& labelOf,
                                  const FolderTest& isFolder);

// The drive that holds the folder: the one with the longest root that contains it, or -1.
int driveOf(const std::vector<Drive>& drives, const std::filesystem::path& folder);
