#include "platform/registration.h"

#include "platform/file_replace.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace tessivor {

namespace {

using Section = std::map<std::string, std::string>;
using IniData = std::map<std::string, Section>; // section name -> keys

std::mutex g_fileMutex;

std::string trim(std::string s)
{
    const char* ws = " \t\r\n";
    s.erase(0, s.find_first_not_of(ws));
    s.erase(s.find_last_not_of(ws) + 1);
    return s;
}

// False when the file exists but cannot be read whole; a missing file reads as empty.
bool readIni(const std::filesystem::path& file, IniData& data)
{
    data.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return !ec;
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    Section* current = nullptr;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = &data[trim(line.substr(1, line.size() - 2))];
            continue;
        }
        auto eq = line.find('=');
        if (current && eq != std::string::npos)
            (*current)[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    return !in.bad();
}

// For look-ups: what can be read (nothing when the file cannot be read).
IniData readIni(const std::filesystem::path& file)
{
    IniData data;
    if (!readIni(file, data))
        data.clear();
    return data;
}

bool writeIni(const std::filesystem::path& file, const IniData& data)
{
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ostringstream out;
    for (const auto& [name, keys] : data) {
        out << '[' << name << "]\n";
        for (const auto& [k, v] : keys)
            out << k << '=' << v << '\n';
        out << '\n';
    }
    const std::string text = out.str();
    return replaceFileContents(file, text.data(), text.size()) == ReplaceResult::Ok;
}

const char* kClsidPrefix = "CLSID ";
const char* kProgIdPrefix = "ProgID ";

// The keys of a class section that have fields of their own; any other key is an extra.
const std::pair<const char*, std::string ClassRegistration::*> kClassKeys[] = {
    {"Name", &ClassRegistration::userTypeName},
    {"InprocServer32", &ClassRegistration::modulePath},
    {"ThreadingModel", &ClassRegistration::threadingModel},
    {"ProgID", &ClassRegistration::progId},
    {"VersionIndependentProgID", &ClassRegistration::versionIndependentProgId},
    {"TypeLib", &ClassRegistration::typeLib},
};

bool isClassKey(const std::string& key)
{
    return std::any_of(std::begin(kClassKeys), std::end(kClassKeys),
                       [&](const auto& entry) { return key == entry.first; });
}

} // namespace

std::filesystem::path registrationFile()
{
    if (const char* f = std::getenv("TESSIVOR_REGISTRY"); f && *f)
        return f;
    std::filesystem::path base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::filesystem::path(h) / ".local" / "share";
    else
        base = std::filesystem::temp_directory_path();
    return base / "tessivor" / "registry.ini";
}

HRESULT registerClass(const ClassRegistration& reg)
{
    if (reg.clsid.empty() || reg.modulePath.empty())
        return E_INVALIDARG;
    std::lock_guard lock(g_fileMutex);
    const auto file = registrationFile();
    IniData data;
    if (!readIni(file, data))
        return E_FAIL; // rewriting it would lose the classes it holds
    Section& c = data[kClsidPrefix + reg.clsid];
    c.clear();
    for (const auto& [key, field] : kClassKeys)
        c[key] = reg.*field;
    for (const auto& [k, v] : reg.extra)
        c[k] = v;
    if (!reg.progId.empty())
        data[kProgIdPrefix + reg.progId] = Section{{"Name", reg.userTypeName}, {"CLSID", reg.clsid}};
    if (!reg.versionIndependentProgId.empty())
        data[kProgIdPrefix + reg.versionIndependentProgId] =
            Section{{"Name", reg.userTypeName}, {"CLSID", reg.clsid}, {"CurVer", reg.progId}};
    return writeIni(file, data) ? S_OK : E_FAIL;
}

HRESULT unregisterClass(const std::string& clsid)
{
    std::lock_guard lock(g_fileMutex);
    const auto file = registrationFile();
    IniData data;
    if (!readIni(file, data))
        return E_FAIL;
    bool changed = data.erase(kClsidPrefix + clsid) > 0;
    for (auto it = data.begin(); it != data.end();) {
        if (it->first.rfind(kProgIdPrefix, 0) == 0 && it->second["CLSID"] == clsid) {
            it = data.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (!changed)
        return S_OK;
    return writeIni(file, data) ? S_OK : E_FAIL;
}

std::vector<ClassRegistration> registeredClasses()
{
    std::lock_guard lock(g_fileMutex);
    std::vector<ClassRegistration> out;
    for (auto& [name, keys] : readIni(registrationFile())) {
        if (name.rfind(kClsidPrefix, 0) != 0)
            continue;
        ClassRegistration r;
        r.clsid = name.substr(std::string(kClsidPrefix).size());
        for (const auto& [key, field] : kClassKeys)
            r.*field = keys[key];
        for (const auto& [k, v] : keys)
            if (!isClassKey(k))
                r.extra[k] = v;
        out.push_back(std::move(r));
    }
    return out;
}

HRESULT clsidFromProgId(const std::string& progId, std::string* clsid, std::string* error)
{
    std::lock_guard lock(g_fileMutex);
    const auto file = registrationFile();
    IniData data = readIni(file);
    std::string name = progId;
    // Follow CurVer from a version-independent name to the versioned one (a short chain at most).
    for (int hop = 0; hop < 4; ++hop) {
        auto it = data.find(kProgIdPrefix + name);
        if (it == data.end()) {
            if (error)
                *error = "class \"" + progId + "\" is not registered (" + file.string() + ")";
            return CO_E_CLASSSTRING;
        }
        auto cur = it->second.find("CurVer");
        if (cur != it->second.end() && !cur->second.empty() && cur->second != name) {
            name = cur->second;
            continue;
        }
        auto id = it->second.find("CLSID");
        if (id == it->second.end() || id->second.empty()) {
            if (error)
                *error = "class \"" + progId + "\" has no CLSID in " + file.string();
            return REGDB_E_CLASSNOTREG;
        }
        *clsid = id->second;
        return S_OK;
    }
    if (error)
        *error = "class \"" + progId + "\": CurVer chain too long";
    return CO_E_CLASSSTRING;
}

HRESULT createInstance(const std::string& clsid, std::shared_ptr<IAutomationObject>* object,
                       std::string* error)
{
    if (!object)
        return E_POINTER;
    object->reset();
    std::string modulePath;
    {
        std::lock_guard lock(g_fileMutex);
        IniData data = readIni(registrationFile());
        auto it = data.find(kClsidPrefix + clsid);
        if (it == data.end()) {
            if (error)
                *error = "class " + clsid + " is not registered";
            return REGDB_E_CLASSNOTREG;
        }
        modulePath = it->second["InprocServer32"];
    }

    // Modules stay loaded for the life of the process (objects may outlive their factories).
    static std::mutex loadMutex;
    static std::map<std::string, void*> loaded;
    void* module = nullptr;
    {
        std::lock_guard lock(loadMutex);
        auto it = loaded.find(modulePath);
        if (it != loaded.end()) {
            module = it->second;
        } else {
            module = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                if (error) {
                    const char* why = ::dlerror();
                    *error = "cannot load " + modulePath + ": " + (why ? why : "unknown error");
                }
                return CO_E_DLLNOTFOUND;
            }
            loaded.emplace(modulePath, module);
        }
    }
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(module, "DllGetClassObject"));
    if (!getClassObject) {
        if (error)
            *error = modulePath + " has no DllGetClassObject";
        return CO_E_ERRORINDLL;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid.c_str(), &factory);
    if (failed(hr) || !factory) {
        if (error)
            *error = modulePath + " does not serve class " + clsid + " (" + resultText(hr) + ")";
        return failed(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
    }
    hr = factory->createInstance(object);
    if (failed(hr) && error)
        *error = "creating " + clsid + " failed (" + resultText(hr) + ")";
    return hr;
}

HRESULT createByProgId(const std::string& progId, std::shared_ptr<IAutomationObject>* object,
                       std::string* error)
{
    std::string clsid;
    HRESULT hr = clsidFromProgId(progId, &clsid, error);
    if (failed(hr))
        return hr;
    return createInstance(clsid, object, error);
}

std::string modulePathOf(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    std::error_code ec;
    auto p = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : p.string();
}

} // namespace tessivor
