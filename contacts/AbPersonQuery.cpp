#include "AbPersonQuery.h"

#include <QStringList>

#include <sqlite3.h>

AbPersonQuery::AbPersonQuery()
{
    selectSqls.append(QStringLiteral("select rowid, prefix, first, middle, last, suffix from abperson"));
    countSqls.append(QStringLiteral("select count(*) from abperson"));
}

AbPersonQuery::~AbPersonQuery() = default;

bool AbPersonQuery::handleRow(sqlite3_stmt* stmt)
{
    const qint64 rowid = sqlite3_column_int64(stmt, 0);
    // Prefix, first, middle, last and suffix, the empty ones left out. A part
    // of blanks is not empty: nothing is trimmed.
    QStringList parts;
    for (int column = 1; column <= 5; ++column) {
        QString part = columnText(stmt, column);
        if (!part.isEmpty())
            parts.append(part);
    }
    names.insert(rowid, parts.join(QLatin1Char(' ')));
    return true;
}

QString AbPersonQuery::getName(qint64 recordId) const
{
    return names.value(recordId);
}
