// Reads a data source line by line with the absolute offset of every line, for the decoders
// that take received messages apart. A line ends at LF or CR LF (a lone CR is text). Only the
// first kMaxKept bytes of a line are kept; the length counts them all, so a hostile line of any
// size costs a fixed amount of memory.
#pragma once

#include "io/data_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessivor::mime {

struct ScannedLine
{
    std::int32_t offset = 0;       // of the first byte of the line
    std::int32_t length = 0;       // bytes before the line ending
    std::int32_t endingLength = 0; // 0 (last line without ending), 1 (LF) or 2 (CR LF)
    std::string text;              // the first kMaxKept bytes of the line
    bool truncated = false;        // the line is longer than what `text` keeps

    std::int32_t next() const { return offset + length + endingLength; }
};

class LineScanner
{
public:
    static constexpr std::size_t kMaxKept = 1000;

    // Scans `source` (already open) from `start` up to, not including, `limit` (-1: its end).
    LineScanner(CDataSource& source, std::int32_t start, std::int32_t limit);

    // The next line; false at the end (or when the source cannot be read).
    bool next(ScannedLine& line);

private:
    bool fill();

    CDataSource& m_source;
    std::int32_t m_limit;
    std::vector<char> m_block;
    std::size_t m_blockStart = 0; // first byte not consumed
    std::size_t m_blockEnd = 0;
    std::int32_t m_blockOffset = 0; // absolute offset of m_block[0]
    bool m_eof = false;
};

} // namespace tessivor::mime
