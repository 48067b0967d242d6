#pragma once

#include "ConversationView.h"

#include <QHash>

class BackupBoundary;
class ConversationSelection;
class MsgContent;
class MsgDetails;
class MsgIdentifier;
class MsgPiece;
class MsgSession;

// Turns one session of the library into what a reader expects.
class ConversationBuilder
{
public:
    // details: loaded by the caller, or null to show only what the fixed
    // model carries. Messages in Recently Deleted are shown in place unless
    // skipDeleted.
    explicit ConversationBuilder(const BackupBoundary& boundary, const MsgDetails* details = nullptr,
                                 bool skipDeleted = false);

    // Only the messages of the selection's days are built and counted.
    void setSelection(const ConversationSelection* chosen) { selection = chosen; }

    ConversationView build(const MsgSession& session, int index) const;
    // How many messages build() will show, without building them.
    int messageCount(const MsgSession& session) const;

    // The contact name where the address book knows one, else the address.
    static QString displayName(const MsgIdentifier& identifier);

private:
    // onlyName: the name of a conversation whose participants are one
    // person, else null.
    void buildMessage(const MsgContent& content, qint64 dateSeconds, const ConversationView& conversation,
                      const QString* onlyName, MessageView& message) const;
    AttachmentView buildAttachment(const MsgPiece& piece) const;
    // The deleted messages whose anchor is among session's messages.
    QList<const MsgDeletedMessage*> deletedOf(const MsgSession& session) const;
    void buildDeleted(const MsgDeletedMessage& deleted, const ConversationView& conversation, const QString* onlyName,
                      MessageView& message) const;
    // Reactions move under their targets, replies get their quote, group
    // events their line.
    void applyDetails(ConversationView& view) const;

    const BackupBoundary& boundary;
    const MsgDetails* details;
    const ConversationSelection* selection = nullptr;
    QList<MsgDeletedMessage> deleted;
    QHash<qint64, QList<int>> deletedByAnchor; // anchor -> indexes into deleted
    QHash<qint64, int> filterByAnchor;         // anchor -> chat.is_filtered
};
