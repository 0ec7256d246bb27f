// Fixed-size, zero-filled text fields as the control keeps them (260 bytes for most texts,
// 100 for labels). A text longer than the field is cut to the field size less one, at a UTF-8
// character boundary, so the field always holds valid text and its terminator.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tessivor {

// Length of the longest prefix of `s` that has at most `maxBytes` bytes and does not end inside
// a UTF-8 sequence.
std::size_t utf8PrefixLength(std::string_view s, std::size_t maxBytes);

template <std::size_t N> class FixedText
{
    static_assert(N >= 2);

public:
    static constexpr std::size_t capacity = N;

    FixedText() = default;
    explicit FixedText(std::string_view s) { assign(s); }

    // Clears the whole field, then copies.
    void assign(std::string_view s)
    {
        std::memset(m_buf, 0, N);
        std::size_t n = utf8PrefixLength(s, N - 1);
        std::memcpy(m_buf, s.data(), n);
    }
    FixedText& operator=(std::string_view s)
    {
        assign(s);
        return *this;
    }
    void clear() { std::memset(m_buf, 0, N); }

    const char* c_str() const { return m_buf; }
    std::string_view view() const { return std::string_view(m_buf, ::strnlen(m_buf, N)); }
    std::string str() const { return std::string(view()); }
    bool empty() const { return m_buf[0] == 0; }
    // Raw field for code that fills it byte by byte; keep the last byte zero.
    char* data() { return m_buf; }

    bool operator==(std::string_view s) const { return view() == s; }

private:
    char m_buf[N] = {};
};

} // namespace tessivor
