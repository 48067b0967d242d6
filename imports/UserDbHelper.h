// The user-database service: one helper object per process.
#pragma once

#include "ImportsExport.h"

#if defined(USERDBHELPER_BUILDING)
#  define USERDBHELPER_API MSGIMPORTS_DLL_EXPORT
#else
#  define USERDBHELPER_API MSGIMPORTS_DLL_IMPORT
#endif

class USERDBHELPER_API UserDbHelper
{
public:
    // The process-wide helper, created on first use.
    static UserDbHelper* instance();
    // Deletes the helper; the next instance() creates a new one.
    static void release();
};
