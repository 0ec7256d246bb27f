#include "io/file_data_source.h"

#include "io/line_split.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

CFileDataSource::CFileDataSource(const char* name, std::int32_t bufferSize)
    : m_name(name ? name : ""), m_buffer(static_cast<std::size_t>(std::max<std::int32_t>(bufferSize, 2)))
{
}

CFileDataSource::~CFileDataSource()
{
    Close();
}

CDataSource* CFileDataSource::Clone()
{
    return new CFileDataSource(m_name.c_str(), static_cast<std::int32_t>(m_buffer.size()));
}

std::int32_t CFileDataSource::Open(std::int32_t mode)
{
    Close();
    if (m_name.empty())
        return -1;
    switch (mode) {
    case 0:
        return m_file.Open(m_name.c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0);
    case 1:
        return m_file.Open(m_name.c_str(), CWinFile::ACCESS_READ | CWinFile::ACCESS_WRITE,
                           CWinFile::CREATE_ALWAYS, 0);
    case 2:
        return m_file.Open(m_name.c_str(), CWinFile::ACCESS_READ | CWinFile::ACCESS_WRITE,
                           CWinFile::OPEN_ALWAYS, 1);
    default:
        return -1;
    }
}

std::int32_t CFileDataSource::Close()
{
    m_bufferStart = m_bufferHeld = 0;
    m_eof = false;
    return m_file.Close();
}

bool CFileDataSource::DropBuffer()
{
    if (m_bufferHeld > 0 && m_file.Seek(-m_bufferHeld, CWinFile::SEEK_FROM_CURRENT) < 0)
        return false;
    m_bufferStart = m_bufferHeld = 0;
    m_eof = false;
    return true;
}

std::int32_t CFileDataSource::ReadLine(char* buffer, std::int32_t size)
{
    if (buffer == nullptr || size < 2 || !m_file.IsOpen())
        return -1;
    const auto capacity = static_cast<std::int32_t>(m_buffer.size());
    while (true) {
        const char* held = m_buffer.data() + m_bufferStart;
        // Enough is known when a line ending is decided, the buffer is full or the file ended.
        bool decided = m_bufferHeld >= capacity || m_eof;
        for (std::int32_t i = 0; !decided && i < m_bufferHeld; ++i)
            if (held[i] == '\n' || (held[i] == '\r' && i + 1 < m_bufferHeld))
                decided = true;
        if (decided)
            break;
        if (m_bufferStart > 0) {
            std::memmove(m_buffer.data(), held, static_cast<std::size_t>(m_bufferHeld));
            m_bufferStart = 0;
        }
        const std::int32_t n = m_file.Read(m_buffer.data() + m_bufferHeld, capacity - m_bufferHeld);
        if (n < 0)
            return -1;
        if (n < capacity - m_bufferHeld)
            m_eof = true;
        m_bufferHeld += n;
    }
    const std::int32_t take =
        io_detail::lineTake(m_buffer.data() + m_bufferStart, m_bufferHeld, m_eof, size - 1);
    std::memcpy(buffer, m_buffer.data() + m_bufferStart, static_cast<std::size_t>(take));
    buffer[take] = '\0';
    m_bufferStart += take;
    m_bufferHeld -= take;
    if (m_bufferHeld == 0)
        m_bufferStart = 0;
    return take;
}

std::int32_t CFileDataSource::WriteLine(const char* text)
{
    return WriteLineThroughWrite(text);
}

std::int32_t CFileDataSource::Read(void* buffer, std::int32_t count)
{
    if (buffer == nullptr || count < 0 || !m_file.IsOpen())
        return -1;
    auto* out = static_cast<char*>(buffer);
    const std::int32_t fromBuffer = std::min(count, m_bufferHeld);
    std::memcpy(out, m_buffer.data() + m_bufferStart, static_cast<std::size_t>(fromBuffer));
    m_bufferStart += fromBuffer;
    m_bufferHeld -= fromBuffer;
    if (m_bufferHeld == 0) {
        m_bufferStart = 0;
        m_eof = false;
    }
    if (fromBuffer == count)
        return count;
    const std::int32_t n = m_file.Read(out + fromBuffer, count - fromBuffer);
    if (n < 0)
        return fromBuffer > 0 ? fromBuffer : -1;
    return fromBuffer + n;
}

std::int32_t CFileDataSource::Write(const void* data, std::int32_t count)
{
    if (data == nullptr || count < 0 || !m_file.IsOpen() || !DropBuffer())
        return -1;
    return m_file.Write(data, count);
}

std::int32_t CFileDataSource::Seek(std::int32_t offset, std::int32_t origin)
{
    if (!m_file.IsOpen() || !DropBuffer())
        return -1;
    switch (origin) {
    case 0:
        return offset < 0 ? -1 : m_file.Seek(offset, CWinFile::SEEK_FROM_BEGIN);
    case 1:
        return m_file.Seek(offset, CWinFile::SEEK_FROM_CURRENT);
    case 2: {
        const std::int32_t size = m_file.Size();
        if (size < 0 || offset < 0 || offset > size)
            return -1;
        return m_file.Seek(size - offset, CWinFile::SEEK_FROM_BEGIN);
    }
    default:
        return -1;
    }
}

} // namespace tessivor
