#include "platform/dispatch.h"

#include <algorithm>
#include <cctype>

namespace tessivor {

std::string_view invokeKindName(InvokeKind kind)
{
    switch (kind) {
    case InvokeKind::Method:
        return "method";
    case InvokeKind::PropertyGet:
        return "get";
    case InvokeKind::PropertyPut:
        return "put";
    }
    return "?";
}

DispParams DispParams::fromDeclared(std::vector<Variant> declaredOrder)
{
    std::reverse(declaredOrder.begin(), declaredOrder.end());
    return DispParams{std::move(declaredOrder)};
}

std::string MemberInfo::signature() const
{
    std::string s;
    for (const ParamInfo& p : params) {
        if (!s.empty())
            s += ", ";
        s += p.typeName;
        if (p.out)
            s += '*';
        if (!p.name.empty()) {
            s += ' ';
            s += p.name;
        }
    }
    return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace tessivor
