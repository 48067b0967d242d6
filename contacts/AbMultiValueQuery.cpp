#include "AbMultiValueQuery.h"

#include <sqlite3.h>

namespace {
const int phoneProperty = 3;
}

AbMultiValueQuery::AbMultiValueQuery()
{
    selectSqls.append(QStringLiteral("select record_id, value, property from abmultivalue where property in (3, 4)"));
    countSqls.append(QStringLiteral("select count(*) from abmultivalue where property in (3, 4)"));
}

AbMultiValueQuery::~AbMultiValueQuery() = default;

bool AbMultiValueQuery::handleRow(sqlite3_stmt* stmt)
{
    const qint64 recordId = sqlite3_column_int64(stmt, 0);
    QString value = columnText(stmt, 1);
    if (sqlite3_column_int(stmt, 2) == phoneProperty)
        value = normalizePhone(value);
    // The row read last wins when two contacts share an address.
    owners.insert(value, recordId);
    return true;
}

bool AbMultiValueQuery::getRecordId(const QString& address, qint64& recordId) const
{
    const auto it = owners.constFind(address);
    if (it == owners.cend())
        return false;
    recordId = it.value();
    return true;
}

QString AbMultiValueQuery::normalizePhone(const QString& value) const
{
    QString phone = value;
    phone.remove(QLatin1Char('-'));
    phone.remove(QLatin1Char('('));
    phone.remove(QLatin1Char(')'));
    phone.remove(QLatin1Char(' '));
    return phone;
}
