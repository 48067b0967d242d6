#pragma once

#include "ConversationView.h"

class BackupBoundary;
class MsgContent;
class MsgIdentifier;
class MsgPiece;
class MsgSession;

// Turns one session of the library into what a reader expects.
class ConversationBuilder
{
public:
    explicit ConversationBuilder(const BackupBoundary& boundary);

    ConversationView build(const MsgSession& session, int index) const;

    // The contact name where the address book knows one, else the address.
    static QString displayName(const MsgIdentifier& identifier);

private:
    MessageView buildMessage(const MsgContent& content, const ConversationView& conversation) const;
    AttachmentView buildAttachment(const MsgPiece& piece) const;

    const BackupBoundary& boundary;
};
