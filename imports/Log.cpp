#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void Log(const char* tag, int level, const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0) {
        va_end(args);
        return;
    }

    // Assemble the whole line first so that lines of concurrent callers do not interleave.
    std::string line = "[";
    line += tag ? tag : "";
    line += "] ";
    line += std::to_string(level);
    line += ' ';
    const std::size_t start = line.size();
    line.resize(start + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(&line[start], static_cast<std::size_t>(needed) + 1, format, args);
    va_end(args);
    line[start + static_cast<std::size_t>(needed)] = '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}
