// The device-backup service: where a device's local backup lies and whether a
// backup of it is being made.
#pragma once

#include "ImportsExport.h"

#include <QString>

#if defined(VEXOBACKUP_BUILDING)
#  define VEXOBACKUP_API MSGIMPORTS_DLL_EXPORT
#else
#  define VEXOBACKUP_API MSGIMPORTS_DLL_IMPORT
#endif

class VEXOBACKUP_API VexoBackup
{
public:
    // <backup root>/<deviceId>; see the README for the root on each platform.
    static QString getDeviceBackupPath(const QString& deviceId);
    // True while the device's backup folder holds an unfinished backup.
    static bool isDeviceBackuping(const QString& deviceId);
    // Stops a running backup of the device.
    static void cancelBackup(const QString& deviceId);
};
