// Builds JPEG streams segment by segment for tests of damaged and unusual input.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace jpegtest {

class StreamBuilder
{
public:
    using Bytes = std::vector<std::uint8_t>;

    StreamBuilder& raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes) {
            m_bytes.push_back(static_cast<std::uint8_t>(b));
        }
        return *this;
    }
    StreamBuilder& raw(const Bytes& bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    StreamBuilder& soi() { return raw({0xFF, 0xD8}); }
    StreamBuilder& eoi() { return raw({0xFF, 0xD9}); }

    // A segment with its length field computed from the payload.
    StreamBuilder& segment(int marker, const Bytes& payload)
    {
        const std::size_t length = payload.size() + 2;
        raw({0xFF, marker, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)});
        return raw(payload);
    }

    // APP0 "JFIF" with density and an RGB thumbnail of `thumbW` x `thumbH` whose pixel bytes are
    // `pixelBytes` long (normally 3 x w x h).
    StreamBuilder& jfif(int units = 0, int x = 1, int y = 1, int thumbW = 0, int thumbH = 0,
                        std::size_t pixelBytes = 0)
    {
        Bytes p = {'J', 'F', 'I', 'F', 0, 1, 2, static_cast<std::uint8_t>(units)};
        push16(p, x);
        push16(p, y);
        p.push_back(static_cast<std::uint8_t>(thumbW));
        p.push_back(static_cast<std::uint8_t>(thumbH));
        p.resize(p.size() + pixelBytes, 0x40);
        return segment(0xE0, p);
    }

    // SOFn with the given components (id, H x 16 + V, table).
    StreamBuilder& sof(int marker, int width, int height, const std::vector<std::array<int, 3>>& comps,
                       int precision = 8)
    {
        Bytes p = {static_cast<std::uint8_t>(precision)};
        push16(p, height);
        push16(p, width);
        p.push_back(static_cast<std::uint8_t>(comps.size()));
        for (const auto& c : comps) {
            p.insert(p.end(), {static_cast<std::uint8_t>(c[0]), static_cast<std::uint8_t>(c[1]),
                               static_cast<std::uint8_t>(c[2])});
        }
        return segment(marker, p);
    }

    StreamBuilder& sofColour(int marker = 0xC0, int width = 16, int height = 16)
    {
        return sof(marker, width, height, {{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
    }

    // DQT with one 8-bit table of all `value`.
    StreamBuilder& dqt(int number, int value = 1)
    {
        Bytes p = {static_cast<std::uint8_t>(number)};
        p.resize(65, static_cast<std::uint8_t>(value));
        return segment(0xDB, p);
    }

    // DHT of one table: class 0 DC, 1 AC; `counts` for lengths 1..16 and the symbols.
    StreamBuilder& dht(int tableClass, int number, const std::vector<int>& counts, const Bytes& symbols)
    {
        Bytes p = {static_cast<std::uint8_t>(tableClass << 4 | number)};
        for (int i = 0; i < 16; ++i) {
            p.push_back(static_cast<std::uint8_t>(i < static_cast<int>(counts.size()) ? counts[i] : 0));
        }
        p.insert(p.end(), symbols.begin(), symbols.end());
        return segment(0xC4, p);
    }

    // SOS over the given component ids, tables 0/0, full spectrum.
    StreamBuilder& sos(const std::vector<int>& ids, int tables = 0x00, int ss = 0, int se = 63, int a = 0)
    {
        Bytes p = {static_cast<std::uint8_t>(ids.size())};
        for (int id : ids) {
            p.push_back(static_cast<std::uint8_t>(id));
            p.push_back(static_cast<std::uint8_t>(tables));
        }
        p.insert(p.end(), {static_cast<std::uint8_t>(ss), static_cast<std::uint8_t>(se),
                           static_cast<std::uint8_t>(a)});
        return segment(0xDA, p);
    }

    const Bytes& bytes() const { return m_bytes; }

private:
    static void push16(Bytes& p, int v)
    {
        p.push_back(static_cast<std::uint8_t>(v >> 8));
        p.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }

    Bytes m_bytes;
};

} // namespace jpegtest
