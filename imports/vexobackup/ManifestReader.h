// Reads table Files of a computer backup's Manifest.db: the rows of the files
// that a folder laid out like the device's Library needs.
#pragma once

#include "FileRecord.h"

#include <QString>

#include <vector>

struct ManifestEntry
{
    QString fileID;       // 40 hex digits: the data lies at <fileID[0:2]>/<fileID>
    QString domain;       // HomeDomain or MediaDomain
    QString relativePath; // below the domain's root, e.g. Library/SMS/sms.db
    FileRecord record;
};

class ManifestReader
{
public:
    // The message database, the address book (each with its "-wal") and
    // every attachment file. False when the database cannot be read; rows
    // with an unusable identifier or path are left out.
    static bool read(const QString& manifestPath, std::vector<ManifestEntry>* entries);

    // Whether a relative path from the manifest stays below its root.
    static bool isSafePath(const QString& relativePath);
};
