#include "window/mounted_drives.h"

#include <gtest/gtest.h>

namespace {

TEST(MountedDrives, ListsWhatAPersonWouldPickWithLabels) {
    const std::vector<Volume> volumes = {
        {"/", "overlay", "overlay", ""},
        {"/proc", "proc", "proc", ""},
        {"/dev/shm", "shm", "tmpfs", ""},
        {"/etc/hosts", "/dev/vda1", "ext4", ""},
        {"/home", "/dev/vda2", "ext4", "HOME"},
        {"/media/usb stick", "/dev/sdb1", "vfat", ""},
        {"/mnt/share", "server:/export", "nfs4", ""},
        {"/boot", "/dev/vda3", "ext4", ""},
        {"/run/media/op/DISK", "/dev/sdc1", "ext4", "DISK"},
        {"/run/user/1000", "tmpfs", "tmpfs", ""},
        {"/run/user/1000/gvfs", "gvfsd-fuse", "fuse.gvfsd-fuse", ""},
        {"/mnt/remote", "op@host:", "fuse.sshfs", ""},
        {"/var/lib/docker/overlay2/x/merged", "overlay", "overlay", ""},
        {"/mnt/share", "//nas/logs", "cifs", ""},
        {"/srv/scratch", "tmpfs", "tmpfs", ""},
    };
    const auto isFolder = [](const std::filesystem::path& path) { return path != "/etc/hosts"; };
    std::vector<std::string> texts;
    for (const auto& drive : pickableDrives(volumes, isFolder)) {
        texts.push_back(drive.text());
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"/ [overlay]", "/home [HOME]", "/media/usb stick [sdb1]",
                                        "/mnt/remote [op@host:]", "/mnt/share [//nas/logs]",
                                        "/run/media/op/DISK [DISK]"}));
}

TEST(MountedDrives, AFolderBelongsToTheDeepestDriveThatHoldsIt) {
    const std::vector<Drive> drives = {{"/", "root"}, {"/home", "HOME"}, {"/home/op/usb", "USB"}};
    const std::vector<std::pair<const char*, int>> cases = {
        {"/", 0},        {"/etc", 0},     {"/homework", 0},
        {"/home", 1},    {"/home/op", 1}, {"/home/op/usb/logs", 2},
        {"relative", -1}};
    for (const auto& [folder, drive] : cases) {
        EXPECT_EQ(driveOf(drives, folder), drive) << folder;
    }
}

}  // namespace
