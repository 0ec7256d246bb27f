// A host name that no look-up can resolve and that never leaves this machine: it is longer than
// a DNS name may be (253 characters), so the resolver refuses it before sending any query.
#pragma once

#include <string>

inline const std::string& unresolvableHost()
{
    static const std::string name = std::string(300, 'x') + ".invalid";
    return name;
}
