// The byte-stream interface that messages, codecs, the SMTP client and the socket client read
// and write through, so that data can live in a file, in memory or in a growing temporary file
// without its users knowing which. The implementations are CFileDataSource,
// CMemoryDataSource and CTempFileDataSource.
//
// All results are 32-bit signed; -1 means failure unless said otherwise. No operation throws,
// and a failed operation leaves the source usable. A null buffer or text argument gives -1. A
// source is used by one thread at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace tessivor {

class CDataSource
{
public:
    virtual ~CDataSource() = default;

    // A new, closed source of the same kind over the same data; the caller owns it.
    virtual CDataSource* Clone() = 0;
    // mode 0 read, 1 write (start empty), 2 append; 0 or -1.
    virtual std::int32_t Open(std::int32_t mode) = 0;
    virtual std::int32_t Close() = 0;
    // The next line with its line ending (LF, CR LF, or a CR not followed by LF), NUL-terminated;
    // a line that does not fit in size - 1 bytes comes in pieces without an ending. Its length,
    // 0 at the end.
    virtual std::int32_t ReadLine(char* buffer, std::int32_t size) = 0;
    // The text and "\r\n" unless the text already ends with CR or LF; the text bytes written, or
    // -1 when the line could not be written whole.
    virtual std::int32_t WriteLine(const char* text) = 0;
    // Up to count bytes into the buffer (nothing is written after them); the number read, less
    // than 1 at the end.
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    // The number written; fewer than count is a failure.
    virtual std::int32_t Write(const void* data, std::int32_t count) = 0;
    // origin 0 from the start, 1 from the position, 2 back from the end (the new position is the
    // length less the offset); the new position.
    virtual std::int32_t Seek(std::int32_t offset, std::int32_t origin) = 0;
    // The position of the first occurrence of `text` at or after `start`, or -1. The text must
    // have 1 to 4095 characters. A case flag of 0 ignores ASCII case. With a limit of 1 or more
    // only the `limit` bytes from `start` on are searched (the text must fit in them). Built
    // once for all sources on Seek and Read; afterwards the position is unspecified.
    virtual std::int32_t Find(const char* text, std::int32_t start, std::int32_t caseFlag,
                              std::int32_t limit);

protected:
    // WriteLine for sources whose Write takes what it is given: the text through Write, then
    // "\r\n" through Write unless the text ends with CR or LF.
    std::int32_t WriteLineThroughWrite(const char* text);
    // The position that Seek(offset, origin) asks for, from the current position and the data
    // length; none for an unknown origin or a target before the start or beyond the data.
    static std::optional<std::int64_t> SeekTarget(std::int32_t offset, std::int32_t origin,
                                                  std::int64_t position, std::int64_t length);
};

} // namespace tessivor
