#include "io/memory_data_source.h"

#include "io/line_split.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessivor {

CMemoryDataSource::CMemoryDataSource(char* buffer, std::int32_t size, const char* name)
    : m_capacity(std::max<std::int32_t>(size, 0)), m_name(name ? name : "")
{
    if (m_name.size() > 259)
        m_name.resize(259);
    if (buffer != nullptr) {
        m_data = buffer;
        m_length = static_cast<std::int32_t>(::strnlen(buffer, static_cast<std::size_t>(m_capacity)));
    } else {
        m_data = new (std::nothrow) char[static_cast<std::size_t>(m_capacity) + 1];
        if (m_data == nullptr)
            m_capacity = 0;
        else
            m_data[0] = '\0';
        m_owned = true;
    }
}

CMemoryDataSource::~CMemoryDataSource()
{
    if (m_owned)
        delete[] m_data;
}

CDataSource* CMemoryDataSource::Clone()
{
    auto* copy = new (std::nothrow) CMemoryDataSource(nullptr, m_capacity, m_name.c_str());
    if (copy == nullptr)
        return nullptr;
    if (copy->m_data == nullptr && m_data != nullptr) {
        delete copy;
        return nullptr;
    }
    if (m_data != nullptr) {
        std::memcpy(copy->m_data, m_data, static_cast<std::size_t>(m_length));
        copy->m_data[m_length] = '\0';
    }
    copy->m_length = m_length;
    copy->m_written = true;
    return copy;
}

std::int32_t CMemoryDataSource::Open(std::int32_t mode)
{
    if (mode == 1) {
        m_position = m_length = 0;
        if (m_data != nullptr)
            m_data[0] = '\0';
        m_written = true;
        return 0;
    }
    // Data written through the source is kept as written (NUL bytes included); otherwise the
    // buffer holds text that its owner may have changed since, so it is measured again.
    if (!m_written && m_data != nullptr)
        m_length = static_cast<std::int32_t>(::strnlen(m_data, static_cast<std::size_t>(m_capacity)));
    m_position = mode == 2 ? m_length : 0;
    return 0;
}

std::int32_t CMemoryDataSource::Close()
{
    return 0;
}

std::int32_t CMemoryDataSource::ReadLine(char* buffer, std::int32_t size)
{
    if (buffer == nullptr || size < 2 || m_data == nullptr)
        return -1;
    const std::int32_t take = io_detail::lineTake(m_data + m_position, m_length - m_position, true, size - 1);
    std::memcpy(buffer, m_data + m_position, static_cast<std::size_t>(take));
    buffer[take] = '\0';
    m_position += take;
    return take;
}

std::int32_t CMemoryDataSource::WriteLine(const char* text)
{
    if (text == nullptr)
        return -1;
    const auto n = static_cast<std::int32_t>(std::strlen(text));
    const bool addEnding = !io_detail::endsWithLineBreak(text, static_cast<std::size_t>(n));
    if (static_cast<std::int64_t>(n) + (addEnding ? 2 : 0) > m_capacity - m_position)
        return -1;
    Write(text, n);
    if (addEnding)
        Write("\r\n", 2);
    return n;
}

std::int32_t CMemoryDataSource::Read(void* buffer, std::int32_t count)
{
    if (buffer == nullptr || count < 0 || m_data == nullptr)
        return -1;
    const std::int32_t n = std::min(count, m_length - m_position);
    std::memcpy(buffer, m_data + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return n;
}

std::int32_t CMemoryDataSource::Write(const void* data, std::int32_t count)
{
    if (data == nullptr || count < 0 || m_data == nullptr)
        return -1;
    const std::int32_t n = std::min(count, m_capacity - m_position);
    std::memmove(m_data + m_position, data, static_cast<std::size_t>(n));
    m_position += n;
    m_data[m_position] = '\0';
    m_length = m_position;
    m_written = true;
    return n;
}

std::int32_t CMemoryDataSource::Seek(std::int32_t offset, std::int32_t origin)
{
    const auto target = SeekTarget(offset, origin, m_position, m_length);
    if (!target)
        return -1;
    m_position = static_cast<std::int32_t>(*target);
    return m_position;
}

} // namespace tessivor
