// Builds a dispatch table from member functions of a C++ interface, so that one declaration
// (the virtual function) gives both the direct call and the late-bound call with its type
// information. Parameter kinds follow from the C++ types:
//   std::int16_t I2, std::int32_t I4, double R8, VariantBool BOOL, OleColor OLE_COLOR,
//   std::string_view BSTR (in), std::string* BSTR* (out), const Variant& VARIANT,
//   an enum E with DispatchEnumName<E> specialised: that name, carried as I4;
//   a pointer to any of these is an out parameter.
#pragma once

#include "platform/dispatch.h"

#include <array>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tessivor {

template <class E>
struct DispatchEnumName; // specialise with: static constexpr std::string_view value = "Name";

namespace dispatch_detail {

template <class T> struct Arg;

template <> struct Arg<std::int16_t>
{
    using Storage = std::int16_t;
    static constexpr std::string_view typeName = "I2";
    static constexpr VarType varType = VarType::I2;
    static HRESULT load(const Variant& v, Storage* s) { return v.toI2(s); }
    static Variant make(Storage s) { return Variant::i2(s); }
};

template <> struct Arg<std::int32_t>
{
    using Storage = std::int32_t;
    static constexpr std::string_view typeName = "I4";
    static constexpr VarType varType = VarType::I4;
    static HRESULT load(const Variant& v, Storage* s) { return v.toI4(s); }
    static Variant make(Storage s) { return Variant::i4(s); }
};

template <> struct Arg<double>
{
    using Storage = double;
    static constexpr std::string_view typeName = "R8";
    static constexpr VarType varType = VarType::R8;
    static HRESULT load(const Variant& v, Storage* s) { return v.toR8(s); }
    static Variant make(Storage s) { return Variant::r8(s); }
};

template <> struct Arg<VariantBool>
{
    using Storage = VariantBool;
    static constexpr std::string_view typeName = "BOOL";
    static constexpr VarType varType = VarType::Bool;
    static HRESULT load(const Variant& v, Storage* s) { return v.toBool(s); }
    static Variant make(Storage s) { return Variant::boolean(s); }
};

template <> struct Arg<OleColor>
{
    using Storage = OleColor;
    static constexpr std::string_view typeName = "OLE_COLOR";
    static constexpr VarType varType = VarType::UI4;
    static HRESULT load(const Variant& v, Storage* s) { return v.toColor(s); }
    static Variant make(Storage s) { return Variant::color(s); }
};

template <> struct Arg<std::string>
{
    using Storage = std::string;
    static constexpr std::string_view typeName = "BSTR";
    static constexpr VarType varType = VarType::Bstr;
    static HRESULT load(const Variant& v, Storage* s) { return v.toBstr(s); }
    static Variant make(const Storage& s) { return Variant::str(s); }
};

template <> struct Arg<Variant>
{
    using Storage = Variant;
    static constexpr std::string_view typeName = "VARIANT";
    static constexpr VarType varType = VarType::Empty;
    static HRESULT load(const Variant& v, Storage* s)
    {
        *s = v;
        return S_OK;
    }
    static Variant make(const Storage& s) { return s; }
};

template <class E>
requires std::is_enum_v<E> && requires
{
    DispatchEnumName<E>::value;
}
struct Arg<E>
{
    using Storage = E;
    static constexpr std::string_view typeName = DispatchEnumName<E>::value;
    static constexpr VarType varType = VarType::I4;
    static HRESULT load(const Variant& v, Storage* s)
    {
        std::int32_t i;
        HRESULT hr = v.toI4(&i);
        if (succeeded(hr))
            *s = static_cast<E>(i);
        return hr;
    }
    static Variant make(Storage s) { return Variant::i4(static_cast<std::int32_t>(s)); }
};

// How a declared C++ parameter maps to an automation parameter.
template <class P> struct Param
{
    using Base = std::remove_cvref_t<P>;
    using A = Arg<Base>;
    static constexpr bool out = false;
    static P pass(typename A::Storage& s) { return s; }
};

template <> struct Param<std::string_view>
{
    using A = Arg<std::string>;
    static constexpr bool out = false;
    static std::string_view pass(std::string& s) { return s; }
};

template <class T> struct Param<T*>
{
    using A = Arg<T>;
    static constexpr bool out = true;
    static T* pass(typename A::Storage& s) { return &s; }
};

template <class F> struct MemberFn;

template <class C, class... P> struct MemberFn<HRESULT (C::*)(P...)>
{
    using Class = C;
    static constexpr std::size_t arity = sizeof...(P);
    using Params = std::tuple<P...>;
};

template <class P> ParamInfo infoOf(std::string_view name)
{
    using Pm = Param<P>;
    return ParamInfo{Pm::A::typeName, Pm::A::varType, Pm::out, name};
}

} // namespace dispatch_detail

template <class Obj> struct DispatchEntry
{
    MemberInfo info;
    HRESULT (*call)(Obj& obj, DispParams& params, Variant* result);
};

// The invoker of one member: checks the argument count, converts every in argument,
// calls, and writes the out arguments back.
template <class Obj, auto Fn> HRESULT dispatchCall(Obj& obj, DispParams& params, Variant* result)
{
    using MF = dispatch_detail::MemberFn<decltype(Fn)>;
    using Tuple = typename MF::Params;
    constexpr std::size_t n = MF::arity;
    constexpr bool lastIsOut = [] {
        if constexpr (n == 0)
            return false;
        else
            return dispatch_detail::Param<std::tuple_element_t<n - 1, Tuple>>::out;
    }();

    // The last out parameter may come back as the call's result instead of an argument.
    const bool retvalInResult = lastIsOut && params.count() + 1 == n;
    if (params.count() != n && !retvalInResult)
        return DISP_E_BADPARAMCOUNT;
    if (retvalInResult && result == nullptr)
        return E_POINTER;

    return [&]<std::size_t... I>(std::index_sequence<I...>)->HRESULT
    {
        std::tuple<typename dispatch_detail::Param<std::tuple_element_t<I, Tuple>>::A::Storage...> storage{};
        HRESULT conv = S_OK;
        auto load = [&](auto idx) {
            constexpr std::size_t i = decltype(idx)::value;
            using Pm = dispatch_detail::Param<std::tuple_element_t<i, Tuple>>;
            if (failed(conv) || Pm::out)
                return;
            conv = Pm::A::load(params.declared(i), &std::get<i>(storage));
        };
        (void)load;
        (load(std::integral_constant<std::size_t, I>{}), ...);
        if (failed(conv))
            return conv;
        HRESULT hr =
            (obj.*Fn)(dispatch_detail::Param<std::tuple_element_t<I, Tuple>>::pass(std::get<I>(storage))...);
        auto store = [&](auto idx) {
            constexpr std::size_t i = decltype(idx)::value;
            using Pm = dispatch_detail::Param<std::tuple_element_t<i, Tuple>>;
            if constexpr (Pm::out) {
                Variant v = Pm::A::make(std::get<i>(storage));
                if (retvalInResult && i == n - 1)
                    *result = std::move(v);
                else
                    params.declared(i) = std::move(v);
            }
        };
        (void)store;
        (store(std::integral_constant<std::size_t, I>{}), ...);
        return hr;
    }
    (std::make_index_sequence<n>{});
}

// One table entry from a member function; `names` are the declared parameter names.
template <class Obj, auto Fn, std::size_t N>
DispatchEntry<Obj> dispatchMember(DispId id, std::string_view name, InvokeKind kind,
                                  const std::array<std::string_view, N>& names)
{
    using MF = dispatch_detail::MemberFn<decltype(Fn)>;
    using Tuple = typename MF::Params;
    static_assert(MF::arity == N, "one name per parameter");
    MemberInfo info{id, name, kind, {}};
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        (info.params.push_back(dispatch_detail::infoOf<std::tuple_element_t<I, Tuple>>(names[I])), ...);
    }
    (std::make_index_sequence<N>{});
    return DispatchEntry<Obj>{std::move(info), &dispatchCall<Obj, Fn>};
}

// A member table: lookup by DISPID and kind, and by name.
template <class Obj> class DispatchTable
{
public:
    explicit DispatchTable(std::vector<DispatchEntry<Obj>> entries) : m_entries(std::move(entries)) {}

    HRESULT invoke(Obj& obj, DispId id, InvokeKind kind, DispParams& params, Variant* result) const
    {
        for (const DispatchEntry<Obj>& e : m_entries)
            if (e.info.id == id && e.info.kind == kind)
                return e.call(obj, params, result);
        return DISP_E_MEMBERNOTFOUND;
    }

    HRESULT idOfName(std::string_view name, DispId* id) const
    {
        for (const DispatchEntry<Obj>& e : m_entries) {
            if (equalsIgnoreCase(e.info.name, name)) {
                *id = e.info.id;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    std::vector<MemberInfo> members() const
    {
        std::vector<MemberInfo> out;
        out.reserve(m_entries.size());
        for (const DispatchEntry<Obj>& e : m_entries)
            out.push_back(e.info);
        return out;
    }

private:
    std::vector<DispatchEntry<Obj>> m_entries;
};

} // namespace tessivor
