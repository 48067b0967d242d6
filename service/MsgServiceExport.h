// The one export macro of the message library. Everything else is hidden.
#pragma once

#if defined(_WIN32)
#  if defined(MSGSERVICE_BUILDING)
#    define MSGSERVICE_EXPORT __declspec(dllexport)
#  else
#    define MSGSERVICE_EXPORT __declspec(dllimport)
#  endif
#else
#  define MSGSERVICE_EXPORT __attribute__((visibility("default")))
#endif
