#include "store/drive_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_dir.h"

namespace korvex {
namespace {

using Roots = std::vector<std::string>;

TEST(DriveList, RootsOfRealFileSystemsSortedWithTrailingSlash) {
  const char* table =
      "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
      "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
      "udev /dev devtmpfs rw,nosuid,relatime,size=8000000k 0 0\n"
      "devpts /dev/pts devpts rw,nosuid,noexec,relatime 0 0\n"
      "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime 0 0\n"
      "/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0\n"
      "securityfs /sys/kernel/security securityfs rw 0 0\n"
      "tmpfs /dev/shm tmpfs rw,nosuid,nodev 0 0\n"
      "tmpfs /run/lock tmpfs rw,nosuid,nodev,noexec 0 0\n"
      "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
      "systemd-1 /proc/sys/fs/binfmt_misc autofs rw 0 0\n"
      "mqueue /dev/mqueue mqueue rw 0 0\n"
      "/dev/nvme0n1p1 /boot/efi vfat rw,relatime 0 0\n"
      "/dev/sdb1 /media/user/REC\\040DISK ntfs3 ro,relatime 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw,nosuid,nodev 0 0\n"
      "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
      "portal /run/user/1000/doc fuse.portal rw 0 0\n"
      "/dev/sdc1 /run/media/user/CAM vfat rw 0 0\n"
      "/dev/loop3 /mnt/image ext4 ro 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "/dev/sda2 /home ext4 rw 0 0\n";
  EXPECT_EQ(mountRootsFromTable(table), (Roots{"/", "/boot/efi/", "/home/", "/media/user/REC DISK/", "/mnt/image/",
                                               "/run/media/user/CAM/", "/tmp/"}));
}

TEST(DriveList, EscapesRepeatsAndBrokenLines) {
  const char* table =
      "/dev/sdb1 /mnt/a\\011tab\\134back ext4 rw 0 0\n"
      "/dev/sdb1 /mnt/new\\012line ext4 rw 0 0\n"
      "/dev/sdb1 /mnt/not\\9escape ext4 rw 0 0\n"
      "overlay / overlay rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"  // mounted over: one entry
      "/dev/sdd1 /mnt/x\n"         // no type
      "\n"
      "garbage\n"
      "/dev/sde1 relative ext4 rw 0 0\n"
      "/dev/sdf1 /srv xfs rw 0 0";  // no line end
  EXPECT_EQ(mountRootsFromTable(table),
            (Roots{"/", "/mnt/a\ttab\\back/", "/mnt/new\nline/", "/mnt/not\\9escape/", "/srv/"}));
}

TEST(DriveList, EmptyTableGivesNoRoots) { EXPECT_TRUE(mountRootsFromTable("").empty()); }

TEST(DriveList, ListOfThisSystem) {
  const Roots roots = mountRootsFromTable(testing::readTextFile("/proc/self/mounts"));
  EXPECT_EQ(listDriveRoots(), roots);
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
  for (const auto& root : roots) {
    EXPECT_EQ(root.back(), '/') << root;
    EXPECT_NE(root.rfind("/proc", 0), 0u) << root;
    EXPECT_NE(root.rfind("/sys", 0), 0u) << root;
  }
}

TEST(DriveList, DiskRootFromTypedText) {
  const std::pair<const char*, const char*> cases[] = {
      {"/mnt/rec", "/mnt/rec/"}, {"/mnt/rec/", "/mnt/rec/"}, {"/", "/"}, {"", ""}, {"rec", "rec/"},
  };
  for (const auto& [text, root] : cases) EXPECT_EQ(diskRootFromText(text), root) << text;
}

}  // namespace
}  // namespace korvex
