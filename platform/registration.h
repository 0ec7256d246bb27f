// The registration file: which module serves which class, and the names (ProgIDs) classes are
// created by. It stands in for the system registry and lives in the user's data folder:
// $XDG_DATA_HOME/tessivor/registry.ini (~/.local/share/... when XDG_DATA_HOME is unset),
// or the file named by TESSIVOR_REGISTRY.
//
//   [CLSID {…}]                     Name, InprocServer32, ThreadingModel, ProgID,
//                                   VersionIndependentProgID, TypeLib, Version, and flag keys
//   [ProgID Tessivor.Image.1]       CLSID
//   [ProgID Tessivor.Image]         CLSID, CurVer = Tessivor.Image.1
//
// Writes replace the file atomically (a temporary file renamed over it).
#pragma once

#include "platform/com_module.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {

struct ClassRegistration
{
    std::string clsid;                        // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
    std::string userTypeName;                 // "Image Class"
    std::string progId;                       // versioned, "Tessivor.Image.1"
    std::string versionIndependentProgId;     // "Tessivor.Image"
    std::string modulePath;                   // absolute path of the shared library
    std::string threadingModel;               // "Apartment"
    std::string typeLib;                      // library name and version, "TESSIVORLib 1.0"
    std::map<std::string, std::string> extra; // further keys (Control, Insertable, MiscStatus, ...)
};

std::filesystem::path registrationFile();

HRESULT registerClass(const ClassRegistration& reg);
// Removes the class and every ProgID that points at it; S_OK also when it was not registered.
HRESULT unregisterClass(const std::string& clsid);

// What is registered now, by CLSID.
std::vector<ClassRegistration> registeredClasses();

// Resolves a ProgID (following CurVer of a version-independent one) to its CLSID.
// REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING with a reason in *error when it cannot.
HRESULT clsidFromProgId(const std::string& progId, std::string* clsid, std::string* error);

// Creates an object of a registered class: loads its module (once per process) with dlopen,
// asks its class factory, creates the instance. Never throws; *error says what went wrong.
HRESULT createInstance(const std::string& clsid, std::shared_ptr<IAutomationObject>* object,
                       std::string* error);
HRESULT createByProgId(const std::string& progId, std::shared_ptr<IAutomationObject>* object,
                       std::string* error);

// The path of the shared library that contains `address` (a module finds itself with it).
std::string modulePathOf(const void* address);

} // namespace tessivor
