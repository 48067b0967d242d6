// Linkage of the four service libraries the message library imports. Each is a
// shared library of its own; a library's sources define its *_BUILDING macro.
#pragma once

#if defined(_WIN32)
#  define MSGIMPORTS_DLL_EXPORT __declspec(dllexport)
// Not dllimport: the services are functions only, which a caller reaches
// through the import library's thunks, so the same objects link against the
// DLLs and against the tests' doubles in one executable.
#  define MSGIMPORTS_DLL_IMPORT
#else
#  define MSGIMPORTS_DLL_EXPORT __attribute__((visibility("default")))
#  define MSGIMPORTS_DLL_IMPORT __attribute__((visibility("default")))
#endif
