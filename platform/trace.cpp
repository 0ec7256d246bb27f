#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tessivor {

namespace {

struct TraceSink
{
    std::mutex mutex;
    std::FILE* file = nullptr;
    bool enabled = false;

    TraceSink()
    {
        const char* v = std::getenv("TESSIVOR_TRACE");
        if (!v || !*v || std::strcmp(v, "0") == 0)
            return;
        if (std::strcmp(v, "1") == 0 || std::strcmp(v, "stderr") == 0)
            file = stderr;
        else
            file = std::fopen(v, "a");
        enabled = file != nullptr;
    }
};

TraceSink& sink()
{
    static TraceSink s;
    return s;
}

} // namespace

bool traceEnabled()
{
    return sink().enabled;
}

void trace(const char* format, ...)
{
    TraceSink& s = sink();
    if (!s.enabled)
        return;
    char line[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    std::lock_guard lock(s.mutex);
    std::fputs(line, s.file);
    std::size_t n = std::strlen(line);
    if (n == 0 || line[n - 1] != '\n')
        std::fputc('\n', s.file);
    std::fflush(s.file);
}

} // namespace tessivor
