// The SQLite service: read-only opening of databases and preparing of
// statements. Results are SQLite result codes (0 is success).
#pragma once

#include "ImportsExport.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

#if defined(SQLUTILS_BUILDING)
#  define SQLUTILS_API MSGIMPORTS_DLL_EXPORT
#else
#  define SQLUTILS_API MSGIMPORTS_DLL_IMPORT
#endif

class SQLUTILS_API SqlUtils
{
public:
    // Opens path read-only without ever writing beside it. On success *db is
    // an open connection for sqlite3_close; on failure *db is null.
    static int openSqlite(const QString& path, sqlite3** db);
    // sqlite3_prepare_v2 on an open connection; on failure *stmt is null.
    static int prepareSqlite(sqlite3* db, const char* sql, int nByte, sqlite3_stmt** stmt, const char** tail);
};
