#include "MsgService.h"

#include "MsgDbLoader.h"
#include "imports/Log.h"
#include "imports/UserDbHelper.h"
#include "imports/vexobackup/VexoBackup.h"

#include <QDir>

#include <new>

MsgService::MsgService(const QString& deviceId, bool hostFlag)
    : deviceId(deviceId)
    , loader(nullptr)
    , stopRequested(false)
    , backupCallback(nullptr)
    , backupCallbackContext(nullptr)
    , hostFlag(hostFlag)
{
    // The loader comes last, once every other member has its value.
    loader = new MsgDbLoader;
}

MsgService::~MsgService()
{
    Log("MSGSER", 1, "des-construct");
    UserDbHelper::instance();
    UserDbHelper::release();
    stopRequested = true;
    try {
        if (VexoBackup::isDeviceBackuping(deviceId))
            VexoBackup::cancelBackup(deviceId);
    } catch (...) {
        // The sessions are freed whatever the backup library does.
    }
    Log("MSGSER", 1, "finished 01");
    delete loader;
    loader = nullptr;
    Log("MSGSER", 1, "finished");
}

int MsgService::startService()
{
    return 0;
}

// No exception leaves the library: the host may not be built to expect one.

void MsgService::shutdownService()
{
    stopRequested = true;
    try {
        if (VexoBackup::isDeviceBackuping(deviceId))
            VexoBackup::cancelBackup(deviceId);
    } catch (...) {
    }
}

bool MsgService::isBackupDevice(bool force)
{
    Q_UNUSED(force);
    try {
        return !VexoBackup::isDeviceBackuping(deviceId);
    } catch (...) {
        return false;
    }
}

QString MsgService::getBDPath()
{
    try {
        return VexoBackup::getDeviceBackupPath(deviceId) + QStringLiteral("/SMS/sms.db");
    } catch (...) {
        return QString();
    }
}

int MsgService::loadSMSOnly()
{
    try {
        const QString folder = QDir::toNativeSeparators(VexoBackup::getDeviceBackupPath(deviceId));
        return loader->load(folder) ? 1 : 0;
    } catch (...) {
        // Running out of memory midway: nothing half-built stays behind.
        loader->clear();
        return 0;
    }
}

bool MsgService::loadBackup(const QString& folder)
{
    try {
        return loader->load(folder);
    } catch (...) {
        loader->clear();
        return false;
    }
}

unsigned int MsgService::msgSessionCount() const
{
    return loader->sessionCount();
}

const MsgSession* MsgService::msgSession(unsigned int index) const
{
    return loader->sessionAt(index);
}

void MsgService::setBackupCB(void (*callback)(void*, double), void* context)
{
    backupCallback = callback;
    backupCallbackContext = context;
}

void MsgService::setBackupPassword(const QString& password)
{
    backupPassword = password;
}

void MsgService::setParam4DB(const QString& param)
{
    param4DB = param;
}
