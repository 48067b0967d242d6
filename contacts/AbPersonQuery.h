// Reader of the address book's "abperson" table: a display name per contact.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QMap>
#include <QString>

class AbPersonQuery : public CISQLiteQuery
{
public:
    AbPersonQuery();
    ~AbPersonQuery() override;

    bool handleRow(sqlite3_stmt* stmt) override;

    // The name of a contact record, or an empty string.
    QString getName(qint64 recordId) const;

private:
    QMap<qint64, QString> names; // by abperson.rowid
};
