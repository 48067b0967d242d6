// The one export macro of the details library. Everything else is hidden.
#pragma once

#if defined(_WIN32)
#  if defined(MSGDETAILS_BUILDING)
#    define MSGDETAILS_EXPORT __declspec(dllexport)
#  else
#    define MSGDETAILS_EXPORT __declspec(dllimport)
#  endif
#else
#  define MSGDETAILS_EXPORT __attribute__((visibility("default")))
#endif
