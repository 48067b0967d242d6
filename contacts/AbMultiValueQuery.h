// Reader of the address book's "abmultivalue" table: the contact record that
// owns each phone number (property 3) and e-mail address (property 4).
#pragma once

#include "query/CISQLiteQuery.h"

#include <QMap>
#include <QString>

class AbMultiValueQuery : public CISQLiteQuery
{
public:
    AbMultiValueQuery();
    ~AbMultiValueQuery() override;

    bool handleRow(sqlite3_stmt* stmt) override;

    // Exact, case-sensitive lookup; recordId is left alone when not found.
    bool getRecordId(const QString& address, qint64& recordId) const;

    // value without "-", "(", ")" and " "; everything else stays.
    QString normalizePhone(const QString& value) const;

private:
    QMap<QString, qint64> owners; // address to abmultivalue.record_id
};
