// MsgDbLoader::assembleSessions: the message database's readers joined into
// conversations.
#include "service/MsgDbLoader.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgSession.h"
#include "assembly/AttachmentFolders.h"
#include "readers/Ios6Attachment.h"
#include "readers/Ios6Chat.h"
#include "readers/Ios6Handle.h"
#include "readers/Ios6Message.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// What the readers allocate for the assembly. Whatever no session has claimed
// when the assembly ends, normally or by an exception, is deleted here.
struct ReaderTables
{
    QMap<QString, MsgSession*> chats;
    QMap<qint64, QMap<qint64, MsgIdentifier*>> handles;
    QMap<qint64, QList<MsgContent*>> messages;

    ~ReaderTables()
    {
        qDeleteAll(chats);
        for (const QMap<qint64, MsgIdentifier*>& participants : qAsConst(handles))
            qDeleteAll(participants);
        for (const QList<MsgContent*>& list : qAsConst(messages))
            qDeleteAll(list);
    }
};

// A message in the lookup pass: 16 bytes, a million of them beside the model.
struct Lookup
{
    qint64 rowid;
    MsgContent* message;
};

// A message whose pieces wait for the second pass, and its place in session order.
struct Pending
{
    size_t order;
    MsgContent* message;
    QString text;
    const QList<AttachmentInfo*>* attachments;
};

} // namespace

bool MsgDbLoader::assembleSessions(const QString& smsDbPath)
{
    const QStringList dbPaths{smsDbPath};
    lastIndex = -1; // positions change as sessions join the store
    // Destroyed after the readers, which refer to them.
    ReaderTables tables;
    Ios6Chat chatReader(&tables.chats);
    Ios6Handle handleReader(&tables.handles);
    Ios6Message messageReader(&tables.messages);
    Ios6Attachment attachmentReader;

    chatReader.exec(dbPaths, nullptr);
    handleReader.exec(dbPaths, nullptr);
    messageReader.exec(dbPaths, nullptr);
    attachmentReader.exec(dbPaths, nullptr);

    // One session per chat identifier, made of every chat row that carries it.
    const QStringList identifiers = tables.chats.keys();
    for (const QString& identifier : identifiers) {
        MsgSession* session = tables.chats.value(identifier);
        const QList<qint64> rowids = chatReader.getChatRowids(identifier);

        // Participants first: a handle in several chat rows joins once. The
        // handle table keeps its own objects; sessions own copies.
        for (const qint64 chatRowid : rowids) {
            const auto handles = tables.handles.constFind(chatRowid);
            if (handles == tables.handles.cend())
                continue;
            for (auto it = handles->cbegin(); it != handles->cend(); ++it) {
                if (session->participants.contains(it.key()))
                    continue;
                auto copy = std::make_unique<MsgIdentifier>(*it.value());
                session->participants.insert(it.key(), copy.get());
                copy.release();
            }
        }

        // Then the messages, moved (not copied) chat row by chat row; each
        // row's list is newest first.
        for (const qint64 chatRowid : rowids) {
            const auto list = tables.messages.find(chatRowid);
            if (list == tables.messages.end())
                continue;
            session->messages.append(*list);
            tables.messages.erase(list);
        }

        // The chat table lets go of the session only once the store holds it.
        if (!session->messages.isEmpty())
            sessions.insert(identifier, session);
        else
            delete session;
        tables.chats.remove(identifier);
    }

    // Each message's text and attachment records, looked up in ascending
    // rowid order: the maps' own order, which keeps their nodes in cache,
    // where conversation order jumps across a million-node tree.
    size_t messageCount = 0;
    for (const MsgSession* session : qAsConst(sessions))
        messageCount += static_cast<size_t>(session->messages.size());
    std::vector<Lookup> lookups;
    lookups.reserve(messageCount);
    for (MsgSession* session : qAsConst(sessions)) {
        for (MsgContent* message : qAsConst(session->messages))
            lookups.push_back(Lookup{message->id, message});
    }
    // Folders found missing are remembered for the rest of this assembly.
    attachmentFolders = std::make_unique<AttachmentFolders>(backupFolder);
    // Positions in session order, sorted by rowid: 4 bytes a message.
    std::vector<quint32> byRowid(lookups.size());
    for (size_t i = 0; i < lookups.size(); ++i)
        byRowid[i] = static_cast<quint32>(i);
    std::sort(byRowid.begin(), byRowid.end(),
              [&lookups](quint32 a, quint32 b) { return lookups[a].rowid < lookups[b].rowid; });
    std::vector<Pending> pending;
    for (const quint32 order : byRowid) {
        const Lookup& lookup = lookups[order];
        const QList<AttachmentInfo*>& attachments = attachmentReader.getAttachments(lookup.rowid);
        if (attachments.isEmpty()) {
            // Without attachments no file is looked for and nothing is
            // logged, so the order does not show: the pieces are built here,
            // while the text is at hand (texts lie in memory in read order,
            // close to rowid order).
            const QString text = messageReader.getText(lookup.rowid);
            buildPieces(lookup.message, text, attachments);
        } else {
            pending.push_back(Pending{order, lookup.message, messageReader.getText(lookup.rowid), &attachments});
        }
    }
    // The second pass holds its own texts: the index and the lookup tables
    // go before its attachment pieces add to the model.
    byRowid = std::vector<quint32>();
    lookups = std::vector<Lookup>();
    messageReader.releaseTexts();

    // Messages with attachments in session order, so that the log lines of
    // missing files come in that order.
    std::sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) { return a.order < b.order; });
    for (Pending& message : pending) {
        const QString text = std::move(message.text);
        buildPieces(message.message, text, *message.attachments);
    }
    attachmentFolders.reset();

    for (MsgSession* session : qAsConst(sessions)) {
        for (const MsgContent* message : qAsConst(session->messages)) {
            if (message->isFromMe == 0 && message->isRead == 0)
                ++session->unreadCount;
        }
    }
    return true;
}
