#include "platform/variant.h"

#include "platform/dispatch.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tessivor {

std::string resultText(HRESULT hr)
{
    switch (hr) {
    case S_OK:
        return "S_OK";
    case S_FALSE:
        return "S_FALSE";
    case E_FAIL:
        return "E_FAIL";
    case E_NOINTERFACE:
        return "E_NOINTERFACE";
    case E_POINTER:
        return "E_POINTER";
    case E_OUTOFMEMORY:
        return "E_OUTOFMEMORY";
    case E_INVALIDARG:
        return "E_INVALIDARG";
    case DISP_E_MEMBERNOTFOUND:
        return "DISP_E_MEMBERNOTFOUND";
    case DISP_E_TYPEMISMATCH:
        return "DISP_E_TYPEMISMATCH";
    case DISP_E_UNKNOWNNAME:
        return "DISP_E_UNKNOWNNAME";
    case DISP_E_OVERFLOW:
        return "DISP_E_OVERFLOW";
    case DISP_E_BADPARAMCOUNT:
        return "DISP_E_BADPARAMCOUNT";
    case CLASS_E_CLASSNOTAVAILABLE:
        return "CLASS_E_CLASSNOTAVAILABLE";
    case REGDB_E_CLASSNOTREG:
        return "REGDB_E_CLASSNOTREG";
    case CO_E_CLASSSTRING:
        return "CO_E_CLASSSTRING";
    case CO_E_DLLNOTFOUND:
        return "CO_E_DLLNOTFOUND";
    case CO_E_ERRORINDLL:
        return "CO_E_ERRORINDLL";
    default:
        break;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

Variant Variant::i2(std::int16_t v)
{
    Variant r;
    r.m_type = VarType::I2;
    r.m_int = v;
    return r;
}

Variant Variant::i4(std::int32_t v)
{
    Variant r;
    r.m_type = VarType::I4;
    r.m_int = v;
    return r;
}

Variant Variant::r8(double v)
{
    Variant r;
    r.m_type = VarType::R8;
    r.m_real = v;
    return r;
}

Variant Variant::str(std::string v)
{
    Variant r;
    r.m_type = VarType::Bstr;
    r.m_text = std::move(v);
    return r;
}

Variant Variant::boolean(VariantBool v)
{
    Variant r;
    r.m_type = VarType::Bool;
    r.m_int = boolValue(v);
    return r;
}

Variant Variant::color(OleColor v)
{
    Variant r;
    r.m_type = VarType::UI4;
    r.m_int = static_cast<std::uint32_t>(v);
    return r;
}

namespace {

// Reads a whole text as an integer: decimal with an optional sign, or "0x"/"&H" hexadecimal,
// surrounding blanks allowed. "True"/"False" read as -1/0, as automation hosts write them.
bool parseInteger(std::string_view s, std::int64_t* out)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (s.empty())
        return false;
    if (equalsIgnoreCase(s, "true")) {
        *out = -1;
        return true;
    }
    if (equalsIgnoreCase(s, "false")) {
        *out = 0;
        return true;
    }
    bool negative = false;
    if (s.front() == '-' || s.front() == '+') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() > 2 && s[0] == '&' && (s[1] == 'h' || s[1] == 'H')) {
        base = 16;
        s.remove_prefix(2);
    }
    std::uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size())
        return false;
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    *out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
}

bool parseReal(std::string_view s, double* out)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (s.empty())
        return false;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size())
        return false;
    *out = v;
    return true;
}

} // namespace

// Integer view of the value for the integral coercions; the bounds are checked by the caller.
static HRESULT integerOf(VarType type, std::int64_t i, double r, const std::string& text, std::int64_t* out)
{
    switch (type) {
    case VarType::Empty:
        *out = 0;
        return S_OK;
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool:
    case VarType::UI4:
        *out = i;
        return S_OK;
    case VarType::R8: {
        if (!std::isfinite(r) || std::fabs(r) > 9.2e18)
            return DISP_E_OVERFLOW;
        *out = static_cast<std::int64_t>(std::nearbyint(r)); // round half to even
        return S_OK;
    }
    case VarType::Bstr: {
        if (parseInteger(text, out))
            return S_OK;
        double d;
        if (parseReal(text, &d))
            return integerOf(VarType::R8, 0, d, text, out);
        return DISP_E_TYPEMISMATCH;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT Variant::toI2(std::int16_t* out) const
{
    std::int64_t v;
    if (HRESULT hr = integerOf(m_type, m_int, m_real, m_text, &v); failed(hr))
        return hr;
    if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max())
        return DISP_E_OVERFLOW;
    *out = static_cast<std::int16_t>(v);
    return S_OK;
}

HRESULT Variant::toI4(std::int32_t* out) const
{
    std::int64_t v;
    if (HRESULT hr = integerOf(m_type, m_int, m_real, m_text, &v); failed(hr))
        return hr;
    // An unsigned 32-bit value (a colour) reads back with its bits unchanged.
    if (m_type == VarType::UI4) {
        *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return S_OK;
    }
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return DISP_E_OVERFLOW;
    *out = static_cast<std::int32_t>(v);
    return S_OK;
}

HRESULT Variant::toR8(double* out) const
{
    switch (m_type) {
    case VarType::R8:
        *out = m_real;
        return S_OK;
    case VarType::Bstr: {
        double d;
        if (!parseReal(m_text, &d)) {
            std::int64_t i;
            if (!parseInteger(m_text, &i))
                return DISP_E_TYPEMISMATCH;
            d = static_cast<double>(i);
        }
        *out = d;
        return S_OK;
    }
    default:
        *out = static_cast<double>(m_int);
        return S_OK;
    }
}

HRESULT Variant::toBool(VariantBool* out) const
{
    if (m_type == VarType::Bool) {
        *out = VariantBool(static_cast<std::int16_t>(m_int));
        return S_OK;
    }
    // Integers are kept as they are when they fit (a host's 1 stays 1); anything else non-zero is true.
    std::int64_t v;
    if (HRESULT hr = integerOf(m_type, m_int, m_real, m_text, &v); failed(hr))
        return hr;
    if (v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max())
        *out = VariantBool(static_cast<std::int16_t>(v));
    else
        *out = VARIANT_TRUE;
    return S_OK;
}

HRESULT Variant::toColor(OleColor* out) const
{
    std::int64_t v;
    if (HRESULT hr = integerOf(m_type, m_int, m_real, m_text, &v); failed(hr))
        return hr;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::uint32_t>::max())
        return DISP_E_OVERFLOW;
    *out = OleColor(static_cast<std::uint32_t>(v));
    return S_OK;
}

HRESULT Variant::toBstr(std::string* out) const
{
    *out = display();
    return S_OK;
}

std::string Variant::display() const
{
    switch (m_type) {
    case VarType::Empty:
        return {};
    case VarType::Bstr:
        return m_text;
    case VarType::R8: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", m_real);
        return buf;
    }
    case VarType::UI4: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(m_int));
        return buf;
    }
    default:
        return std::to_string(m_int);
    }
}

bool Variant::operator==(const Variant& o) const
{
    return m_type == o.m_type && m_int == o.m_int && m_real == o.m_real && m_text == o.m_text;
}

} // namespace tessivor
