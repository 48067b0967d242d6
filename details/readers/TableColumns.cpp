#include "TableColumns.h"

#include <sqlite3.h>

TableColumns::TableColumns(const char* table)
{
    const QString name = QString::fromLatin1(table);
    selectSqls.append(QStringLiteral("select name from pragma_table_info('%1')").arg(name));
    countSqls.append(QStringLiteral("select count(*) from pragma_table_info('%1')").arg(name));
}

bool TableColumns::handleRow(sqlite3_stmt* stmt)
{
    names.append(columnText(stmt, 0).toLower());
    return true;
}
