// Automation values: result codes, the variant that carries arguments and results across the
// late-bound (dispatch) path, and the two small value types the control's interface uses.
//
// Conversions follow the usual automation rules: numbers widen and narrow with an overflow check,
// reals round half to even, texts convert when they hold a number, and booleans are -1 (true) and 0
// (false) as 16-bit values. A boolean stored from an integer keeps that integer, so a host that
// passes 1 is told apart from one that passes true (-1).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessivor {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);

inline bool succeeded(HRESULT hr)
{
    return hr >= 0;
}
inline bool failed(HRESULT hr)
{
    return hr < 0;
}

// Short text for a result code ("S_OK", "DISP_E_TYPEMISMATCH", or the code in hex).
std::string resultText(HRESULT hr);

// The 16-bit automation boolean. Any 16-bit value can be held: true is -1, but a host may pass 1.
enum class VariantBool : std::int16_t
{
};
inline constexpr VariantBool VARIANT_TRUE{-1};
inline constexpr VariantBool VARIANT_FALSE{0};
inline constexpr VariantBool toVariantBool(bool b)
{
    return b ? VARIANT_TRUE : VARIANT_FALSE;
}
inline constexpr std::int16_t boolValue(VariantBool b)
{
    return static_cast<std::int16_t>(b);
}

// An OLE colour: 0x00BBGGRR, or a system colour index with the top bit set.
enum class OleColor : std::uint32_t
{
};

enum class VarType : std::uint16_t
{
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R8 = 5,
    Bstr = 8,
    Bool = 11,
    UI4 = 19, // OLE colours travel as unsigned 32-bit values
};

class Variant
{
public:
    Variant() = default;

    static Variant i2(std::int16_t v);
    static Variant i4(std::int32_t v);
    static Variant r8(double v);
    static Variant str(std::string v);
    static Variant boolean(VariantBool v);
    static Variant boolean(bool v) { return boolean(toVariantBool(v)); }
    static Variant color(OleColor v);

    VarType type() const { return m_type; }
    bool empty() const { return m_type == VarType::Empty; }

    // Coercions; DISP_E_TYPEMISMATCH when the value cannot be read as the type,
    // DISP_E_OVERFLOW when it does not fit. The output is untouched on failure.
    HRESULT toI2(std::int16_t* out) const;
    HRESULT toI4(std::int32_t* out) const;
    HRESULT toR8(double* out) const;
    HRESULT toBool(VariantBool* out) const;
    HRESULT toColor(OleColor* out) const;
    HRESULT toBstr(std::string* out) const;

    // The value as a host prints it: numbers in decimal, booleans as their stored integer,
    // colours in hex ("0x00BBGGRR"), texts as they are, empty as "".
    std::string display() const;

    bool operator==(const Variant& other) const;

private:
    VarType m_type = VarType::Empty;
    std::int64_t m_int = 0;
    double m_real = 0.0;
    std::string m_text;
};

} // namespace tessivor
