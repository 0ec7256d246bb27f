// The byte-stream interface that messages, codecs, the SMTP client and the socket client read
// and write through, so that data can live in a file, in memory or in a growing temporary file
// without its users knowing which.
//
// All results are 32-bit signed; -1 means failure unless said otherwise. No operation throws,
// and a failed operation leaves the source usable. A source is used by one thread at a time.
#pragma once

#include <cstdint>

class CDataSource
{
public:
    virtual ~CDataSource() = default;

    // A new source of the same kind over the same data; the caller owns it.
    virtual CDataSource* Clone() = 0;
    // mode 0 read, 1 write (start empty), 2 append; 0 or -1.
    virtual std::int32_t Open(std::int32_t mode) = 0;
    virtual std::int32_t Close() = 0;
    // The next line with its line ending, NUL-terminated; its length, 0 at the end.
    virtual std::int32_t ReadLine(char* buffer, std::int32_t size) = 0;
    // The text and "\r\n" unless the text already ends with CR or LF; the text bytes written.
    virtual std::int32_t WriteLine(const char* text) = 0;
    // Up to count bytes; the number read (less than 1 at the end).
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    // The number written; fewer than count is a failure.
    virtual std::int32_t Write(const void* data, std::int32_t count) = 0;
    // origin 0 from the start, 1 from the position, 2 back from the end; the new position.
    virtual std::int32_t Seek(std::int32_t offset, std::int32_t origin) = 0;
    // The position of the text, or -1 (implemented once for all sources on Seek and Read).
    virtual std::int32_t Find(const char* text, std::int32_t start, std::int32_t caseFlag,
                              std::int32_t limit);
};
