// Disk queries: free and total space, the mounted volumes and what is known about them.
//
// Volumes are the entries of the mount table (/proc/self/mounts) that hold storage: pseudo file
// systems without blocks (proc, sysfs, cgroup, ...) are left out, and a mount point mounted
// twice counts once. A volume index counts from 0 in the table's order. Nothing is cached: every
// call reads the system afresh.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pellucor {

class CAPIDisks
{
public:
    // Volume flags (the bit values VolumeFlagsToString names).
    enum : std::int32_t
    {
        kCaseSensitiveSearch = 1,
        kCasePreservedNames = 2,
        kUnicodeOnDisk = 4,
        kPersistentAcls = 8,
        kFileCompression = 16,
    };
    // Volume types (DriveTypeToString).
    enum : std::int32_t
    {
        kTypeUnknown = 0,
        kTypeNoRoot = 1,
        kTypeRemovable = 2,
        kTypeFixed = 3,
        kTypeRemote = 4,
        kTypeCdrom = 5,
        kTypeRamDisk = 6,
    };

    explicit CAPIDisks(std::filesystem::path mountTable = "/proc/self/mounts");

    // Bytes available to this user on the file system of `path`: the folder itself, or when it
    // does not exist yet its nearest existing ancestor. 0 when nothing can be asked.
    double DiskFreeSpace(const std::filesystem::path& path) const;
    double DiskTotalSpace(std::int16_t index) const;
    std::string DriveFileSystemType(std::int16_t index) const;
    std::int32_t DriveFlags(std::int16_t index) const;
    std::string DriveLabel(std::int16_t index) const;
    std::string DriveSerialNumber(std::int16_t index) const;
    std::int32_t DriveType(std::int16_t index) const;
    // The mount point of volume `index`, or an empty text.
    std::string LogicalDrives(std::int16_t index) const;
    std::int16_t GetDriveCount() const;
    bool IsDriveReady(std::int16_t index) const;

    static std::string DriveLetterFromNumber(std::int16_t number);
    static std::string DriveTypeToString(std::int32_t type);
    static std::string VolumeFlagsToString(std::int32_t flags);

    struct Volume
    {
        std::string device;
        std::string mountPoint;
        std::string fsType;
    };
    std::vector<Volume> volumes() const;

private:
    std::optional<Volume> volume(std::int16_t index) const;
    std::filesystem::path m_mountTable;
};

// The path itself when it exists, else its nearest existing ancestor (empty when none does).
std::filesystem::path nearestExistingFolder(const std::filesystem::path& path);

} // namespace pellucor
