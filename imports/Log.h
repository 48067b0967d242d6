// The logging service: one line per call.
#pragma once

#include "ImportsExport.h"

#if defined(MSGLOG_BUILDING)
#  define MSGLOG_API MSGIMPORTS_DLL_EXPORT
#else
#  define MSGLOG_API MSGIMPORTS_DLL_IMPORT
#endif

#if defined(__GNUC__)
#  define MSGLOG_PRINTF_FORMAT __attribute__((format(printf, 3, 4)))
#else
#  define MSGLOG_PRINTF_FORMAT
#endif

// Writes "[TAG] LEVEL message" to standard error; format is printf-style.
MSGLOG_API void Log(const char* tag, int level, const char* format, ...) MSGLOG_PRINTF_FORMAT;
