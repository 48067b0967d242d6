#include "MsgDbLoader.h"

#include "MsgSession.h"
#include "assembly/AttachmentFolders.h"
#include "query/CISQLiteQuery.h"

#include <QDir>

#include <iterator>

MsgDbLoader::MsgDbLoader() = default;

MsgDbLoader::~MsgDbLoader()
{
    clear();
}

bool MsgDbLoader::load(const QString& folder)
{
    // Sessions of an earlier load go first, so a failed load leaves none.
    clear();
    backupFolder = folder;
    const QDir dir(backupFolder);
    if (!loadSmsDb(dir.absoluteFilePath(QStringLiteral("SMS/sms.db"))))
        return false;

    QString addressBookPath = dir.absoluteFilePath(QStringLiteral("AddressBook/AddressBook.sqlitedb"));
    if (!dir.exists(addressBookPath))
        addressBookPath = dir.absoluteFilePath(QStringLiteral("AddressBook/AddressBook.db"));
    applyContactNames(addressBookPath);
    return true;
}

void MsgDbLoader::clear()
{
    const QList<MsgSession*> stored = sessions.values();
    for (MsgSession* session : stored)
        delete session;
    sessions = QMap<QString, MsgSession*>();
    lastIndex = -1;
    attachmentFolders.reset();
}

bool MsgDbLoader::loadSmsDb(const QString& smsDbPath)
{
    // Older schemas without the chat/message join table are refused as a whole.
    const QStringList schemaTest{QStringLiteral(
        "select count(*) from sqlite_master where type = 'table' and name = 'chat_message_join'")};
    if (CISQLiteQuery::countRows(smsDbPath, schemaTest) > 0)
        return assembleSessions(smsDbPath);
    return false;
}

int MsgDbLoader::sessionCount() const
{
    return sessions.size();
}

QList<MsgSession*> MsgDbLoader::sessionList() const
{
    return sessions.values();
}

MsgSession* MsgDbLoader::sessionAt(unsigned int index) const
{
    if (index >= static_cast<unsigned int>(sessions.size()))
        return nullptr;
    const int wanted = static_cast<int>(index);
    if (lastIndex < 0 || wanted < lastIndex) {
        lastIndex = 0;
        lastAt = sessions.cbegin();
    }
    lastAt = std::next(lastAt, wanted - lastIndex);
    lastIndex = wanted;
    return *lastAt;
}
