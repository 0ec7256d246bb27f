// The late-bound call path: a member is named by its dispatch id (DISPID) and called with an
// array of variants. Arguments travel in the order automation uses, the last declared argument
// first; DispParams::declared() reads them in declared order.
#pragma once

#include "platform/variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

using DispId = std::int32_t;

enum class InvokeKind : std::uint8_t
{
    Method = 1,
    PropertyGet = 2,
    PropertyPut = 4,
};

std::string_view invokeKindName(InvokeKind kind); // "method", "get", "put"

struct DispParams
{
    // Last declared argument first. Out arguments are written back into their entries.
    std::vector<Variant> args;

    static DispParams fromDeclared(std::vector<Variant> declaredOrder);
    std::size_t count() const { return args.size(); }
    Variant& declared(std::size_t i) { return args[args.size() - 1 - i]; }
    const Variant& declared(std::size_t i) const { return args[args.size() - 1 - i]; }
};

// One parameter as the type library declares it.
struct ParamInfo
{
    std::string_view typeName; // "I4", "BSTR", "BOOL", "AviFileModeType", ...
    VarType varType;           // what the value converts to
    bool out;                  // written by the member (declared as a pointer)
    std::string_view name;
};

struct MemberInfo
{
    DispId id;
    std::string_view name;
    InvokeKind kind;
    std::vector<ParamInfo> params;

    // "I4 mode, BOOL newVal, I4* pVal"
    std::string signature() const;
};

class IDispatch
{
public:
    virtual ~IDispatch() = default;
    // Name lookup is case-insensitive, as automation hosts expect.
    virtual HRESULT getIdOfName(std::string_view name, DispId* id) = 0;
    // For a property get the value goes to *result. For a method whose last parameter is an out
    // parameter, a caller may leave that argument off and receive it in *result instead.
    virtual HRESULT invoke(DispId id, InvokeKind kind, DispParams& params, Variant* result) = 0;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace tessivor
