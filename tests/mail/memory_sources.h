// Data of the e-mail tests: memory sources filled with given bytes, what a memory source holds,
// and pseudo-random bytes that stand for pictures and other attachments.
#pragma once

#include "io/memory_data_source.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace mailtest {

// A closed memory source holding `data` (binary safe), with room for `extra` more bytes.
inline std::unique_ptr<tessivor::CMemoryDataSource> memoryWith(const std::string& data,
                                                               std::int32_t extra = 0)
{
    auto s = std::make_unique<tessivor::CMemoryDataSource>(
        nullptr, static_cast<std::int32_t>(data.size()) + extra, "m");
    s->Open(1);
    s->Write(data.data(), static_cast<std::int32_t>(data.size()));
    s->Close();
    return s;
}

inline std::string contents(tessivor::CMemoryDataSource& s)
{
    return std::string(s.GetData(), static_cast<std::size_t>(s.GetLength()));
}

// `n` bytes of a generator seeded with `seed`: the same bytes for the same seed.
inline std::string bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<char>(rng() & 0xFF));
    return out;
}

} // namespace mailtest
