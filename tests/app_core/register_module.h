// Registers the built control module (TESSIVOR_MODULE_FILE) in the test's registration file, as
// its installer would, so that the program's code can create controls by ProgID.
#pragma once

#include "platform/com_module.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

inline void registerModule()
{
    void* module = ::dlopen(TESSIVOR_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto reg = reinterpret_cast<tessivor::DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), tessivor::S_OK);
}
