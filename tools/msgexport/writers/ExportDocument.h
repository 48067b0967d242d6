#pragma once

#include "ConversationView.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// An export: the conversations held in memory, or made one at a time while
// it is written (make), so that it holds only the one being written and at
// most one made ahead of it.
struct ExportDocument
{
    QString generator;    // "msgexport 1.0.0"
    QString backupFolder; // with links resolved
    QString selection;    // what was chosen, for the index; empty when everything was
    QString timeZone;     // the zone local times are shown in, an IANA name
    QString deviceName;   // of a computer backup; empty when unknown
    QString iosVersion;   // likewise
    QDateTime exportedAt; // UTC
    QList<ConversationView> conversations;

    // Makes conversation i of madeConversations (which hold madeMessages
    // messages in all); false, with the reason in *error, stops the export.
    std::function<bool(int i, ConversationView* view, QString* error)> make;
    int madeConversations = 0;
    int madeMessages = 0;
    // The messages of conversation i before it is made. With it, make runs
    // on a thread of its own, making the next conversation while one is
    // written if it has at most aheadMessages messages.
    std::function<int(int i)> messagesOf;
    int aheadMessages = 20000;

    int conversationCount() const { return make ? madeConversations : conversations.size(); }
    int messageCount() const;

    // Calls visit with each conversation in order until it returns false.
    bool forEach(const std::function<bool(const ConversationView&)>& visit, QString* error) const;
};
