#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A drive an operator can pick: on Linux a mounted file system that holds files a person works
// with (the root, /home, removable media, network shares), not the kernel's pseudo file systems
// nor a container's plumbing; on Windows a drive letter.
struct Drive {
    std::filesystem::path root;
    std::string label;  // the volume label, else the device's name

    // The drive list's entry: the root, a blank and the label in square brackets.
    std::string text() const;
};

// A mounted volume as the system describes it.
struct Volume {
    std::filesystem::path root;
    std::string device;
    std::string type;
    std::string label;
};

using FolderTest = std::function<bool(const std::filesystem::path&)>;

// The volumes mounted on this machine.
std::vector<Volume> mountedVolumes();

// Where drives are mount points: the drives among the volumes, by root. isFolder weeds out single
// files mounted over others.
std::vector<Drive> pickableDrives(const std::vector<Volume>& volumes, const FolderTest& isFolder);

// The drives of this machine.
std::vector<Drive> mountedDrives();

// The drive that holds the folder: the one with the longest root that contains it, or -1.
int driveOf(const std::vector<Drive>& drives, const std::filesystem::path& folder);
