#include "app/core/disks.h"

#include "app/core/file_io.h"

#include <algorithm>
#include <cstdio>

#include <sys/statvfs.h>

namespace pellucor {

namespace {

// The mount table escapes blanks, tabs, newlines and backslashes in its fields as \ooo.
std::string unescapeMountField(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && s.size() - i >= 4 &&
            std::all_of(s.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        s.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::optional<struct statvfs> statFolder(const std::filesystem::path& p)
{
    struct statvfs st
    {
    };
    if (p.empty() || ::statvfs(p.c_str(), &st) != 0)
        return std::nullopt;
    return st;
}

bool isOneOf(const std::string& s, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return s == n; });
}

} // namespace

std::filesystem::path nearestExistingFolder(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec)
        return {};
    p = p.lexically_normal();
    for (;;) {
        if (std::filesystem::exists(p, ec))
            return p;
        if (!p.has_relative_path())
            return {};
        p = p.parent_path();
    }
}

CAPIDisks::CAPIDisks(std::filesystem::path mountTable) : m_mountTable(std::move(mountTable)) {}

std::vector<CAPIDisks::Volume> CAPIDisks::volumes() const
{
    std::vector<Volume> out;
    std::string table;
    if (!readWholeFile(m_mountTable, 16u << 20, table).ok())
        return out;
    std::size_t pos = 0;
    while (pos < table.size()) {
        std::size_t nl = table.find('\n', pos);
        std::string line = table.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? table.size() : nl + 1;
        std::vector<std::string> fields;
        std::size_t f = 0;
        while (fields.size() < 3 && f < line.size()) {
            std::size_t sp = line.find(' ', f);
            fields.push_back(line.substr(f, sp == std::string::npos ? std::string::npos : sp - f));
            f = sp == std::string::npos ? line.size() : sp + 1;
        }
        if (fields.size() < 3)
            continue;
        Volume v{unescapeMountField(fields[0]), unescapeMountField(fields[1]), fields[2]};
        auto st = statFolder(v.mountPoint);
        if (!st || st->f_blocks == 0)
            continue;
        auto same = std::find_if(out.begin(), out.end(),
                                 [&](const Volume& o) { return o.mountPoint == v.mountPoint; });
        if (same != out.end())
            *same = v; // the later mount hides the earlier one
        else
            out.push_back(v);
    }
    return out;
}

std::optional<CAPIDisks::Volume> CAPIDisks::volume(std::int16_t index) const
{
    auto all = volumes();
    if (index < 0 || static_cast<std::size_t>(index) >= all.size())
        return std::nullopt;
    return all[static_cast<std::size_t>(index)];
}

double CAPIDisks::DiskFreeSpace(const std::filesystem::path& path) const
{
    auto st = statFolder(nearestExistingFolder(path));
    if (!st)
        return 0;
    return static_cast<double>(static_cast<std::uint64_t>(st->f_bavail) *
                               static_cast<std::uint64_t>(st->f_frsize));
}

double CAPIDisks::DiskTotalSpace(std::int16_t index) const
{
    auto v = volume(index);
    auto st = v ? statFolder(v->mountPoint) : std::nullopt;
    if (!st)
        return 0;
    return static_cast<double>(static_cast<std::uint64_t>(st->f_blocks) *
                               static_cast<std::uint64_t>(st->f_frsize));
}

std::string CAPIDisks::DriveFileSystemType(std::int16_t index) const
{
    auto v = volume(index);
    return v && IsDriveReady(index) ? v->fsType : std::string();
}

std::int32_t CAPIDisks::DriveFlags(std::int16_t index) const
{
    auto v = volume(index);
    if (!v || !IsDriveReady(index))
        return 0;
    // FAT file systems fold letter case; everything else native to Linux keeps names byte for byte.
    if (isOneOf(v->fsType, {"vfat", "msdos", "exfat", "iso9660"}))
        return kUnicodeOnDisk;
    return kCaseSensitiveSearch | kCasePreservedNames | kUnicodeOnDisk;
}

std::string CAPIDisks::DriveLabel(std::int16_t index) const
{
    auto v = volume(index);
    if (!v || v->device.empty() || v->device[0] != '/')
        return {};
    std::error_code ec;
    std::filesystem::path device = std::filesystem::canonical(v->device, ec);
    if (ec)
        return {};
    std::filesystem::directory_iterator it("/dev/disk/by-label", ec);
    if (ec)
        return {};
    for (const auto& e : it) {
        std::error_code ec2;
        if (std::filesystem::canonical(e.path(), ec2) == device && !ec2)
            return e.path().filename().string();
    }
    return {};
}

std::string CAPIDisks::DriveSerialNumber(std::int16_t index) const
{
    auto v = volume(index);
    auto st = v ? statFolder(v->mountPoint) : std::nullopt;
    if (!st)
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lX", static_cast<unsigned long>(st->f_fsid));
    return buf;
}

std::int32_t CAPIDisks::DriveType(std::int16_t index) const
{
    auto v = volume(index);
    if (!v || !IsDriveReady(index))
        return kTypeUnknown;
    if (isOneOf(v->fsType, {"tmpfs", "ramfs"}))
        return kTypeRamDisk;
    if (isOneOf(v->fsType, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p"}))
        return kTypeRemote;
    if (isOneOf(v->fsType, {"iso9660", "udf"}))
        return kTypeCdrom;
    if (!v->device.empty() && v->device[0] == '/')
        return kTypeFixed;
    return kTypeUnknown;
}

std::string CAPIDisks::LogicalDrives(std::int16_t index) const
{
    auto v = volume(index);
    return v ? v->mountPoint : std::string();
}

std::int16_t CAPIDisks::GetDriveCount() const
{
    return static_cast<std::int16_t>(std::min<std::size_t>(volumes().size(), 32767));
}

bool CAPIDisks::IsDriveReady(std::int16_t index) const
{
    auto v = volume(index);
    return v && statFolder(v->mountPoint).has_value();
}

std::string CAPIDisks::DriveLetterFromNumber(std::int16_t number)
{
    return std::string(1, static_cast<char>(number + 65));
}

std::string CAPIDisks::DriveTypeToString(std::int32_t type)
{
    static const char* const kNames[] = {"Unknown", "No root", "Removable", "Fixed",
                                         "Remote",  "CDROM",   "RAM Disk"};
    if (type < 0 || type >= static_cast<std::int32_t>(std::size(kNames)))
        return {};
    return kNames[type];
}

std::string CAPIDisks::VolumeFlagsToString(std::int32_t flags)
{
    static const std::pair<std::int32_t, const char*> kFlags[] = {
        {kCaseSensitiveSearch, "Supports case-sensitive searching"},
        {kCasePreservedNames, "Permits case-sensitive names"},
        {kUnicodeOnDisk, "Uses Unicode file names"},
        {kPersistentAcls, "Uses persistent ACLs"},
        {kFileCompression, "Supports file-level compression"},
    };
    std::string out;
    auto add = [&](const char* text) {
        if (!out.empty())
            out += ", ";
        out += text;
    };
    for (const auto& [bit, text] : kFlags)
        if (flags & bit)
            add(text);
    if (flags > 32767)
        add("Volume is compressed");
    return out;
}

} // namespace pellucor
