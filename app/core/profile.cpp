#include "app/core/profile.h"

#include "app/core/ini_store.h"
#include "app/core/schedule.h"
#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include <algorithm>
#include <variant>

namespace pellucor {

namespace {

// What LoadSetting does when a key is absent.
enum class WhenAbsent
{
    Start, // the record's start value
    Zero,  // False, 0 or empty
};

// Whether a stored 0 counts as absent (keys for which 0 is no valid value).
enum class Zero
{
    IsValue,
    IsAbsent,
};

template <typename Rec> struct Field
{
    const char* key;
    std::variant<bool Rec::*, std::int16_t Rec::*, std::int32_t Rec::*, std::string Rec::*> member;
    WhenAbsent absent;
    Zero zero = Zero::IsValue;
};

using CamField = Field<CamInfo>;
using ScheduleField = Field<ScheduleInfo>;
using SettingsField = Field<SystemSettings>;

// Camera section keys, in the order they are written. The schedule keys go between PT and MailTo.
const CamField kCamHead[] = {
    {"Enable", &CamInfo::Enable, WhenAbsent::Start},
    {"Assign", &CamInfo::Assign, WhenAbsent::Start},
    {"UserName", &CamInfo::UserName, WhenAbsent::Start},
    {"Password", &CamInfo::Password, WhenAbsent::Start},
    {"IPAddress", &CamInfo::IPAddress, WhenAbsent::Start},
    {"MacAddress", &CamInfo::MacAddress, WhenAbsent::Start},
    {"Protocol", &CamInfo::Protocol, WhenAbsent::Start},
    {"IsLocalCamera", &CamInfo::IsLocalCamera, WhenAbsent::Start},
    {"Port", &CamInfo::Port, WhenAbsent::Start, Zero::IsAbsent},
    {"FWVersion", &CamInfo::FWVersion, WhenAbsent::Start},
    {"HWVersion", &CamInfo::HWVersion, WhenAbsent::Start},
    {"ROMVersion", &CamInfo::ROMVersion, WhenAbsent::Start},
    {"ServerName", &CamInfo::ServerName, WhenAbsent::Start},
    {"ServerLocation", &CamInfo::ServerLocation, WhenAbsent::Start},
    {"ServerModel", &CamInfo::ServerModel, WhenAbsent::Start},
    {"RotateAngle", &CamInfo::RotateAngle, WhenAbsent::Zero},
    {"RecordMode", &CamInfo::RecordMode, WhenAbsent::Zero},
    {"ScheduleCount", &CamInfo::ScheduleCount, WhenAbsent::Zero},
    {"PT", &CamInfo::PT, WhenAbsent::Zero},
};

// "SCHEDULE" + k + suffix.
const ScheduleField kScheduleKeys[] = {
    {"_CHECK", &ScheduleInfo::CHECK, WhenAbsent::Zero},
    {"_MODE", &ScheduleInfo::MODE, WhenAbsent::Zero},
    {"_WeekOption", &ScheduleInfo::WeekOption, WhenAbsent::Zero},
    {"_DateStart", &ScheduleInfo::DateStart, WhenAbsent::Zero},
    {"_DateStop", &ScheduleInfo::DateStop, WhenAbsent::Zero},
    {"_TimeStart", &ScheduleInfo::TimeStart, WhenAbsent::Zero},
    {"_TimeStop", &ScheduleInfo::TimeStop, WhenAbsent::Zero},
};

const CamField kCamTail[] = {
    {"MailTo", &CamInfo::MailTo, WhenAbsent::Zero},
    {"MailFrom", &CamInfo::MailFrom, WhenAbsent::Zero},
    {"MailServer", &CamInfo::MailServer, WhenAbsent::Zero},
    {"MailSubject", &CamInfo::MailSubject, WhenAbsent::Zero},
    {"MailUserName", &CamInfo::MailUserName, WhenAbsent::Zero},
    {"MailPassword", &CamInfo::MailPassword, WhenAbsent::Zero},
    {"MailIntervalTime", &CamInfo::MailIntervalTime, WhenAbsent::Start, Zero::IsAbsent},
    {"Sensitivity", &CamInfo::Sensitivity, WhenAbsent::Start, Zero::IsAbsent},
    {"Alarm", &CamInfo::Alarm, WhenAbsent::Zero},
    {"SendEmail", &CamInfo::SendEmail, WhenAbsent::Zero},
    {"Trig1", &CamInfo::Trig1, WhenAbsent::Zero},
    {"Trig2", &CamInfo::Trig2, WhenAbsent::Zero},
};

// Section "General": the keys before the storage list, and after it.
const SettingsField kGeneralHead[] = {
    {"BypassProxyServer", &SystemSettings::BypassProxyServer, WhenAbsent::Zero},
    {"EnableProxy", &SystemSettings::EnableProxy, WhenAbsent::Zero},
    {"ProxyServerAddress", &SystemSettings::ProxyServerAddress, WhenAbsent::Start},
    {"ProxyServerPort", &SystemSettings::ProxyServerPort, WhenAbsent::Start, Zero::IsAbsent},
    {"ReserveSpace", &SystemSettings::ReserveSpace, WhenAbsent::Start},
    {"SplitFileMode", &SystemSettings::SplitFileMode, WhenAbsent::Start},
    {"FileSize", &SystemSettings::FileSize, WhenAbsent::Start},
    {"FileTimeLimited", &SystemSettings::FileTimeLimited, WhenAbsent::Start},
};

const SettingsField kGeneralTail[] = {
    {"ActiveStorage", &SystemSettings::ActiveStorage, WhenAbsent::Start, Zero::IsAbsent},
    {"UseRecycleFlag", &SystemSettings::UseRecycleFlag, WhenAbsent::Start},
    {"RecycleMode", &SystemSettings::RecycleMode, WhenAbsent::Start},
    {"RecycleSpaceValue", &SystemSettings::RecycleSpaceValue, WhenAbsent::Start},
    {"RecycleTime", &SystemSettings::RecycleTime, WhenAbsent::Start},
    {"ScanDelay", &SystemSettings::ScanDelay, WhenAbsent::Start},
    {"PlayerMode", &SystemSettings::PlayerMode, WhenAbsent::Start},
    {"PlayerPath", &SystemSettings::PlayerPath, WhenAbsent::Start},
};

const char* const kGeneral = "General";
const char* const kSystem = "System";

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// A text as the profile can hold it. Texts reach the records from cameras, files and dialogs; one
// that is not UTF-8 after all is stored as read in Windows-1252 rather than costing the whole save.
std::string storable(const std::string& text)
{
    return isValidUtf8(text) ? text : toValidUtf8(text);
}

template <typename Rec>
bool writeFields(IniStore& ini, const std::string& section, const Rec& rec, const Field<Rec>* begin,
                 const Field<Rec>* end, const std::string& keyPrefix = "")
{
    for (const Field<Rec>* f = begin; f != end; ++f) {
        const std::string key = keyPrefix + f->key;
        bool ok = std::visit(
            [&](auto member) {
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(rec.*member)>, std::string>)
                    return ini.WriteValue(section, key, storable(rec.*member));
                else
                    return ini.WriteValue(section, key, rec.*member);
            },
            f->member);
        if (!ok)
            return false;
    }
    return true;
}

// Reads one key into `rec` by its field's rules. `start` supplies start values. False with
// `error` set when the stored text is not of the field's type.
template <typename Rec>
bool readField(const IniStore& ini, const std::string& section, const std::string& key, const Field<Rec>& f,
               Rec& rec, const Rec& start, std::string* error)
{
    return std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(rec.*member)>;
            auto raw = ini.ReadValue(section, key);
            bool present = raw.has_value();
            T value{};
            if constexpr (std::is_same_v<T, std::string>) {
                if (present)
                    value = *raw;
            } else {
                // An empty value under a number or flag key holds nothing and counts as absent.
                if (present && trimBlanks(*raw).empty())
                    present = false;
                if (present) {
                    IniRead r;
                    if constexpr (std::is_same_v<T, bool>)
                        r = ini.readBool(section, key, value);
                    else if constexpr (std::is_same_v<T, std::int16_t>)
                        r = ini.readInt16(section, key, value);
                    else
                        r = ini.readInt32(section, key, value);
                    if (r != IniRead::Ok) {
                        setError(error,
                                 "[" + section + "] " + key + ": \"" + *raw + "\" is not a valid value");
                        return false;
                    }
                    if (f.zero == Zero::IsAbsent && value == T{})
                        present = false;
                }
            }
            if (present)
                rec.*member = value;
            else
                rec.*member = f.absent == WhenAbsent::Start ? start.*member : T{};
            return true;
        },
        f.member);
}

template <typename Rec>
bool readFields(const IniStore& ini, const std::string& section, Rec& rec, const Rec& start,
                const Field<Rec>* begin, const Field<Rec>* end, std::string* error,
                const std::string& keyPrefix = "")
{
    for (const Field<Rec>* f = begin; f != end; ++f)
        if (!readField(ini, section, keyPrefix + f->key, *f, rec, start, error))
            return false;
    return true;
}

std::string scheduleKeyPrefix(int k)
{
    return "SCHEDULE" + std::to_string(k);
}

std::string storageKey(int k, const char* what)
{
    return "Storage" + std::to_string(k) + what;
}

SystemSettings startSettings(const AppState& state)
{
    SystemSettings s;
    s.Storage(1) = {state.paths.defaultStorage().string(), true};
    return s;
}

bool readGeneral(const IniStore& ini, const AppState& state, SystemSettings& out, std::string* error)
{
    const SystemSettings start = startSettings(state);
    const std::string section = kGeneral;
    if (!readFields(ini, section, out, start, std::begin(kGeneralHead), std::end(kGeneralHead), error))
        return false;

    std::int32_t count = 0;
    auto raw = ini.ReadValue(section, "StorageCount");
    if (raw && !trimBlanks(*raw).empty() && ini.readInt32(section, "StorageCount", count) != IniRead::Ok) {
        setError(error, "[General] StorageCount: \"" + *raw + "\" is not a number");
        return false;
    }
    if (count < 0 || count > kStorageCount) {
        setError(error, "[General] StorageCount: " + std::to_string(count) + " is outside 0 to 16");
        return false;
    }
    out.storages = start.storages;
    if (count == 0) {
        // No storage list: the home, checked, is the only storage.
        out.StorageCount = 1;
    } else {
        out.StorageCount = count;
        for (int k = 1; k <= count; ++k) {
            StorageEntry& e = out.Storage(k);
            if (auto path = ini.ReadValue(section, storageKey(k, "Path")))
                e.Path = *path;
            e.Checked = false;
            auto checked = ini.ReadValue(section, storageKey(k, "Checked"));
            if (checked && !trimBlanks(*checked).empty() &&
                ini.readBool(section, storageKey(k, "Checked"), e.Checked) != IniRead::Ok) {
                setError(error,
                         "[General] " + storageKey(k, "Checked") + ": \"" + *checked + "\" is not a flag");
                return false;
            }
        }
    }

    if (!readFields(ini, section, out, start, std::begin(kGeneralTail), std::end(kGeneralTail), error))
        return false;
    if (out.ActiveStorage < 1 || out.ActiveStorage > kStorageCount) {
        setError(error,
                 "[General] ActiveStorage: " + std::to_string(out.ActiveStorage) + " is outside 1 to 16");
        return false;
    }
    return true;
}

bool readCamera(const IniStore& ini, int n, CamInfo& cam, std::string* error)
{
    const CamInfo start;
    const std::string section = "Cam" + std::to_string(n);
    if (!readFields(ini, section, cam, start, std::begin(kCamHead), std::end(kCamHead), error))
        return false;
    for (int k = 1; k <= kScheduleCount; ++k) {
        ScheduleInfo& e = cam.Schedule(k);
        if (!readFields(ini, section, e, start.Schedule(k), std::begin(kScheduleKeys),
                        std::end(kScheduleKeys), error, scheduleKeyPrefix(k)))
            return false;
        // Dates and times in the other common forms ("2024/3/1", "8:00") are kept in the form
        // the schedule uses; texts that cannot be read stay as they are.
        e.DateStart = canonicalDate(e.DateStart);
        e.DateStop = canonicalDate(e.DateStop);
        e.TimeStart = canonicalTime(e.TimeStart);
        e.TimeStop = canonicalTime(e.TimeStop);
    }
    if (!readFields(ini, section, cam, start, std::begin(kCamTail), std::end(kCamTail), error))
        return false;
    if (!cam.Assign)
        cam.Enable = false;
    // Only schedule recording survives a restart; manual and motion recording do not.
    if (cam.RecordMode != kRecordSchedule)
        cam.RecordMode = kRecordNone;
    return true;
}

} // namespace

std::filesystem::path profilePath(const AppState& state)
{
    if (state.INIPath == "main.ini")
        return state.paths.defaultProfile();
    return std::filesystem::path(state.INIPath);
}

bool writeProfile(const AppState& state, IniStore& ini)
{
    const SystemSettings& s = state.settings;
    bool ok = true;
    for (int n = 1; n <= kCameraCount && ok; ++n) {
        const std::string section = "Cam" + std::to_string(n);
        const CamInfo& cam = state.cam(n);
        ok = writeFields(ini, section, cam, std::begin(kCamHead), std::end(kCamHead));
        for (int k = 1; k <= kScheduleCount && ok; ++k)
            ok = writeFields(ini, section, cam.Schedule(k), std::begin(kScheduleKeys),
                             std::end(kScheduleKeys), scheduleKeyPrefix(k));
        ok = ok && writeFields(ini, section, cam, std::begin(kCamTail), std::end(kCamTail));
    }
    ok = ok && writeFields(ini, kGeneral, s, std::begin(kGeneralHead), std::end(kGeneralHead));
    ok = ok && ini.WriteValue(kGeneral, "StorageCount", s.StorageCount);
    for (int k = 1; k <= std::min(s.StorageCount, kStorageCount) && ok; ++k) {
        ok = ini.WriteValue(kGeneral, storageKey(k, "Path"), storable(s.Storage(k).Path)) &&
             ini.WriteValue(kGeneral, storageKey(k, "Checked"), s.Storage(k).Checked);
    }
    ok = ok && writeFields(ini, kGeneral, s, std::begin(kGeneralTail), std::end(kGeneralTail));
    return ok;
}

bool LoadLanguageIni(AppState& state, std::string* error)
{
    std::error_code ec;
    std::filesystem::path file = state.paths.selectorFile();
    if (!std::filesystem::exists(file, ec))
        file = state.paths.shippedSelectorFile();
    if (!std::filesystem::exists(file, ec)) {
        setError(error, state.paths.selectorFile().string() + " does not exist");
        return false;
    }
    IniStore ini;
    ini.SetFileName(file);
    if (!ini.Load()) {
        setError(error, ini.errorText());
        return false;
    }
    auto language = ini.ReadValue(kGeneral, "Language");
    auto iniPath = ini.ReadValue(kSystem, "INIPath");
    state.Language = language && !language->empty() ? *language : "english";
    state.INIPath = iniPath && !iniPath->empty() ? *iniPath : "main.ini";
    return true;
}

bool SaveSetting(const AppState& state, std::string* error)
{
    const SystemSettings& s = state.settings;
    if (s.StorageCount < 1 || s.StorageCount > kStorageCount) {
        setError(error, "StorageCount " + std::to_string(s.StorageCount) + " is outside 1 to 16");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(state.paths.homeDir, ec);

    IniStore ini;
    ini.SetFileName(state.paths.selectorFile());
    if (!ini.WriteValue(kGeneral, "Language", storable(state.Language)) ||
        !ini.WriteValue(kSystem, "INIPath", storable(state.INIPath)) || !ini.Save()) {
        setError(error, ini.errorText());
        return false;
    }

    ini.SetFileName(profilePath(state));
    ini.setFileMode(0600);
    bool ok = writeProfile(state, ini);
    if (!ok || !ini.Save()) {
        setError(error, ini.errorText());
        return false;
    }
    return true;
}

bool LoadSetting(AppState& state, std::string* error)
{
    const std::filesystem::path file = profilePath(state);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return true;
    IniStore ini;
    ini.SetFileName(file);
    if (!ini.Load()) {
        setError(error, ini.errorText());
        return false;
    }
    SystemSettings settings = state.settings;
    if (!readGeneral(ini, state, settings, error))
        return false;
    std::array<CamInfo, kCameraCount> cams = state.cams; // run-time fields carry over
    for (int n = 1; n <= kCameraCount; ++n)
        if (!readCamera(ini, n, cams[static_cast<std::size_t>(n - 1)], error))
            return false;
    state.settings = std::move(settings);
    state.cams = std::move(cams);
    return true;
}

std::int32_t GetActiveStorage(const SystemSettings& settings)
{
    if (settings.StorageCount < 1)
        return 0;
    for (int k = 1; k <= kStorageCount; ++k)
        if (settings.Storage(k).Checked)
            return k;
    return 0;
}

} // namespace pellucor
