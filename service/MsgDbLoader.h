#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <memory>

class AttachmentFolders;
class MsgContent;
class MsgSession;
struct AttachmentInfo;

// Runs a load of one backup folder and owns the sessions it yields.
class MsgDbLoader
{
public:
    MsgDbLoader();
    ~MsgDbLoader();

    MsgDbLoader(const MsgDbLoader&) = delete;
    MsgDbLoader& operator=(const MsgDbLoader&) = delete;

    // Replaces the sessions by those of backupFolder ("SMS/sms.db" and the
    // address book inside it). False when the message database is refused;
    // the store is empty then.
    bool load(const QString& backupFolder);
    // Deletes every session.
    void clear();

    // Schema test ("chat_message_join" must exist), then the assembly.
    bool loadSmsDb(const QString& smsDbPath);
    // Reads the message database into sessions; always true.
    bool assembleSessions(const QString& smsDbPath);
    // Puts address-book names on every participant of the stored sessions.
    void applyContactNames(const QString& addressBookPath);

    // Cuts a message's text at its attachment placeholders into pieces.
    void buildPieces(MsgContent* message, const QString& text, const QList<AttachmentInfo*>& attachments);
    void addTextPiece(MsgContent* message, const QString& text);
    void addAttachmentPiece(MsgContent* message, const AttachmentInfo* attachment);

    int sessionCount() const;
    // The stored sessions in ascending order of chat identifier (a new list each time).
    QList<MsgSession*> sessionList() const;
    // The session at position index of that order, or null.
    MsgSession* sessionAt(unsigned int index) const;
    // The folder of the most recent load, exactly as passed.
    const QString& folder() const { return backupFolder; }

private:
    QMap<QString, MsgSession*> sessions; // by chat identifier; owned
    // The position sessionAt found last: a host pages through the sessions
    // in order, and walking the map from its start each time is quadratic.
    mutable int lastIndex = -1;
    mutable QMap<QString, MsgSession*>::const_iterator lastAt;
    QString backupFolder;
    // Set while an assembly runs: what it found of the attachment folders.
    std::unique_ptr<AttachmentFolders> attachmentFolders;
};
