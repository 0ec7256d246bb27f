#include "io/data_source.h"

// Placeholder until the data sources land: Find is built on Seek and Read for every source.
std::int32_t CDataSource::Find(const char*, std::int32_t, std::int32_t, std::int32_t)
{
    return -1;
}
