// Reader of "pragma_table_info": the column names of one table, so that a
// reader can ask for the columns a schema has and leave the others out.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QStringList>

class TableColumns : public CISQLiteQuery
{
public:
    // table is put into the statements as it is: pass a known name only.
    explicit TableColumns(const char* table);

    bool handleRow(sqlite3_stmt* stmt) override;

    QStringList names; // lower case
};
