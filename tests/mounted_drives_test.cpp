#include "mounted_drives.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> texts(const std::vector<Drive>& drives) {
    std::vector<std::string> out;
    for (const auto& drive : drives) {
        out.push_back(drive.text());
    }
    return out;
}

TEST(MountedDrives, ListsWhatAPersonWouldPickWithLabels) {
    const std::string mountInfo =
        "21 1 0:20 / / rw,relatime - overlay overlay rw,lowerdir=/a\n"
        "22 21 0:21 / /proc rw - proc proc rw\n"
        "23 21 0:22 / /sys rw - sysfs sysfs rw\n"
        "24 21 0:23 / /dev/shm rw - tmpfs shm rw\n"
        "25 23 0:24 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
        "26 21 254:1 /etc/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
        "27 21 254:2 / /home rw shared:1 - ext4 /dev/vda2 rw\n"
        "28 21 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
        "29 21 0:40 / /mnt/share rw - nfs4 server:/export rw\n"
        "30 21 254:3 / /boot rw - ext4 /dev/vda3 rw\n"
        "31 21 8:33 / /run/media/op/DISK rw - ext4 /dev/sdc1 rw\n"
        "32 21 0:41 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "33 32 0:42 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
        "34 21 0:43 / /mnt/remote rw - fuse.sshfs op@host: rw\n"
        "35 21 0:44 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
        "36 21 0:45 / /mnt/share rw - cifs //nas/logs rw\n"
        "garbage line\n";
    const auto labelOf = [](const std::string& source) -> std::string {
        return source == "/dev/vda2" ? "HOME" : source == "/dev/sdc1" ? "DISK" : "";
    };
    const auto isFolder = [](const std::filesystem::path& path) { return path != "/etc/hosts"; };
    EXPECT_EQ(texts(pickableDrives(mountInfo, labelOf, isFolder)),
              (std::vector<std::string>{"/ [overlay]", "/home [HOME]", "/media/usb stick [sdb1]",
                                        "/mnt/remote [op@host:]", "/mnt/share [//nas/logs]",
                                        "/run/media/op/DISK [DISK]"}));
}

TEST(MountedDrives, AFolderBelongsToTheDeepestDriveThatHoldsIt) {
    const std::vector<Drive> drives = {{"/", "root"}, {"/home", "HOME"}, {"/home/op/usb", "USB"}};
    struct Case {
        const char* folder;
        int drive;
    };
    for (const auto& c : std::vector<Case>{{"/", 0},
                                           {"/etc", 0},
                                           {"/homework", 0},
                                           {"/home", 1},
                                           {"/home/op", 1},
                                           {"/home/op/usb/logs", 2},
                                           {"relative", -1}}) {
        EXPECT_EQ(driveOf(drives, c.folder), c.drive) << c.folder;
    }
}

}  // namespace
