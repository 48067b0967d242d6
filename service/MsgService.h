#pragma once

#include "MsgServiceExport.h"

#include <QString>

class MsgDbLoader;
class MsgSession;

// The entry point for hosts: one object per device. Load a backup, then page
// through its conversations with msgSessionCount() and msgSession(i).
//
// Sessions belong to the service and stay valid until the next load or the
// service's destruction; the host never deletes them. Every operation runs to
// completion on the calling thread; call one at a time per object.
//
// Copying is withheld: the service owns its loader and the sessions in it, and
// a copy would either share them (and delete them twice) or silently cost a
// whole load's worth of memory. Create a second service and load it instead.
class MSGSERVICE_EXPORT MsgService
{
public:
    MsgService(const QString& deviceId, bool hostFlag);
    virtual ~MsgService();

    MsgService(const MsgService&) = delete;
    MsgService& operator=(const MsgService&) = delete;

    // Does nothing; returns 0.
    int startService();
    // Cancels a running backup of the device. Loaded sessions stay available.
    void shutdownService();
    // True when no backup of the device is running; force changes nothing.
    bool isBackupDevice(bool force);
    // The device's backup folder followed by "/SMS/sms.db".
    QString getBDPath();

    // Loads the device's default backup folder. 1 on success, 0 on failure.
    int loadSMSOnly();
    // Loads the given backup folder (laid out as the device's Library folder).
    bool loadBackup(const QString& folder);

    unsigned int msgSessionCount() const;
    // The session at index, in ascending order of chat identifier; null when
    // index is out of range.
    const MsgSession* msgSession(unsigned int index) const;

    // Stored only: loads report no progress and read no password or parameter.
    void setBackupCB(void (*callback)(void*, double), void* context);
    void setBackupPassword(const QString& password);
    void setParam4DB(const QString& param);

private:
    QString deviceId;
    QString param4DB;
    QString backupPassword;
    MsgDbLoader* loader;
    bool stopRequested;
    void (*backupCallback)(void*, double);
    void* backupCallbackContext;
    [[maybe_unused]] bool hostFlag; // kept for the host; nothing here reads it
};
