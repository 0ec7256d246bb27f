// A host name that no look-up can resolve and that never leaves this machine: its first label is
// longer than a DNS label may be (63 characters), so the resolver refuses it before sending any
// query. The whole name fits the control's 260-byte text fields.
#pragma once

#include <string>

inline const std::string& unresolvableHost()
{
    static const std::string name = std::string(70, 'x') + ".invalid";
    return name;
}
