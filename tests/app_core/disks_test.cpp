#include "app/core/disks.h"

#include "python_peer.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pellucor;

namespace {

std::string pythonFree(const std::filesystem::path& folder)
{
    auto out = runCapture(std::string(kPython) +
                          " -c \"import os,sys; s=os.statvfs(sys.argv[1]); print(s.f_bavail*s.f_frsize)\" '" +
                          folder.string() + "'");
    return out ? *out : "";
}

std::string asText(double v)
{
    return std::to_string(static_cast<unsigned long long>(v)) + "\n";
}

// On a private tmpfs nobody else writes to, so our figure and Python's must be equal.
TEST(Disks, FreeSpaceAgreesWithPythonOnThePathsOwnFileSystem)
{
    if (!pythonAvailable())
        GTEST_SKIP() << "no " << kPython;
    TestFolder dir("disks");
    const auto mnt = dir.path() / "mnt";
    std::filesystem::create_directory(mnt);
    int rc = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=3m") != 0)
            return 77;
        std::filesystem::create_directory(mnt / "rec");
        std::ofstream(mnt / "rec" / "used") << std::string(100000, 'x');
        CAPIDisks disks;
        const double free = disks.DiskFreeSpace(mnt / "rec");
        if (asText(free) != pythonFree(mnt / "rec"))
            return 1;
        // A storage folder that is not made yet is asked on its nearest existing ancestor, which
        // here is the tmpfs, not the file system holding the test folder.
        if (disks.DiskFreeSpace(mnt / "rec" / "not" / "yet") != free)
            return 2;
        if (free <= 0 || free > 3 * 1024 * 1024)
            return 3;
        return 0;
    });
    if (rc == 77)
        GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace here";
    EXPECT_EQ(rc, 0);
}

TEST(Disks, FreeSpaceOfPathsThatDoNotExist)
{
    CAPIDisks disks;
    TestFolder dir("disks");
    EXPECT_GT(disks.DiskFreeSpace(dir.path() / "a" / "b"), 0);
    EXPECT_EQ(nearestExistingFolder(dir.path() / "a" / "b"), dir.path());
    EXPECT_GT(disks.DiskFreeSpace("relative/path/below/cwd"), 0);
}

TEST(Disks, VolumesFromTheMountTable)
{
    TestFolder dir("disks");
    const auto spaced = dir.path() / "with space";
    std::filesystem::create_directory(spaced);
    std::string escaped = spaced.string();
    escaped.replace(escaped.find(' '), 1, "\\040");
    const auto table = dir.path() / "mounts";
    std::ofstream(table) << "/dev/vda / ext4 rw 0 0\n"
                         << "proc /proc proc rw 0 0\n"
                         << "sysfs /sys sysfs rw 0 0\n"
                         << "tmpfs " << escaped << " tmpfs rw 0 0\n"
                         << "short-line\n"
                         << "/dev/vdb " << dir.path().string() << " xfs rw 0 0\n"
                         << "/dev/vdc " << dir.path().string() << " vfat rw 0 0\n";
    CAPIDisks disks(table);
    ASSERT_EQ(disks.GetDriveCount(), 3);
    EXPECT_EQ(disks.LogicalDrives(0), "/");
    EXPECT_EQ(disks.LogicalDrives(1), spaced.string());
    EXPECT_EQ(disks.LogicalDrives(2), dir.path().string());
    EXPECT_EQ(disks.LogicalDrives(3), "");
    EXPECT_EQ(disks.LogicalDrives(-1), "");
    EXPECT_EQ(disks.DriveType(0), CAPIDisks::kTypeFixed);
    EXPECT_EQ(disks.DriveType(1), CAPIDisks::kTypeRamDisk);
    EXPECT_EQ(disks.DriveFileSystemType(2), "vfat"); // the later mount hides the earlier one
    EXPECT_EQ(disks.DriveFlags(2), CAPIDisks::kUnicodeOnDisk);
    EXPECT_EQ(disks.DriveFlags(0), 7);
    EXPECT_TRUE(disks.IsDriveReady(0));
    EXPECT_FALSE(disks.IsDriveReady(3));
    EXPECT_GT(disks.DiskTotalSpace(0), 0);
    EXPECT_EQ(disks.DiskTotalSpace(3), 0);
    EXPECT_FALSE(disks.DriveSerialNumber(0).empty());
    EXPECT_EQ(disks.DriveSerialNumber(0).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(disks.DriveLabel(3), "");

    CAPIDisks none(dir.path() / "no-such-table");
    EXPECT_EQ(none.GetDriveCount(), 0);
}

TEST(Disks, NamesOfTypesFlagsAndLetters)
{
    EXPECT_EQ(CAPIDisks::DriveTypeToString(3), "Fixed");
    EXPECT_EQ(CAPIDisks::DriveTypeToString(6), "RAM Disk");
    EXPECT_EQ(CAPIDisks::DriveTypeToString(7), "");
    EXPECT_EQ(CAPIDisks::DriveTypeToString(-1), "");
    EXPECT_EQ(CAPIDisks::VolumeFlagsToString(3),
              "Supports case-sensitive searching, Permits case-sensitive names");
    EXPECT_EQ(CAPIDisks::VolumeFlagsToString(0), "");
    EXPECT_EQ(CAPIDisks::VolumeFlagsToString(32768), "Volume is compressed");
    EXPECT_EQ(CAPIDisks::DriveLetterFromNumber(2), "C");
    EXPECT_EQ(CAPIDisks::DriveLetterFromNumber(0), "A");
}

} // namespace
