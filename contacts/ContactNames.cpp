// MsgDbLoader::applyContactNames: address-book names on the participants.
#include "service/MsgDbLoader.h"

#include "MsgIdentifier.h"
#include "MsgSession.h"
#include "contacts/AbMultiValueQuery.h"
#include "contacts/AbPersonQuery.h"

void MsgDbLoader::applyContactNames(const QString& addressBookPath)
{
    const QStringList dbPaths{addressBookPath};
    AbPersonQuery persons;
    AbMultiValueQuery addresses;
    persons.exec(dbPaths, nullptr);
    addresses.exec(dbPaths, nullptr);

    // A handle in several conversations is looked up once.
    QMap<qint64, QString> nameCache;
    for (MsgSession* session : qAsConst(sessions)) {
        for (MsgIdentifier* participant : qAsConst(session->participants)) {
            if (!participant)
                continue;
            auto cached = nameCache.constFind(participant->id);
            if (cached == nameCache.cend()) {
                // The address as the user typed it is the better key; the
                // canonical one only stands in when it is missing. The match
                // is exact: only the address book's phone numbers are
                // normalised.
                const QString& key = participant->uncanonicalizedId.isEmpty() ? participant->address
                                                                              : participant->uncanonicalizedId;
                QString name;
                qint64 recordId = 0;
                if (addresses.getRecordId(key, recordId))
                    name = persons.getName(recordId);
                cached = nameCache.insert(participant->id, name);
            }
            participant->contactName = cached.value();
        }
    }
}
