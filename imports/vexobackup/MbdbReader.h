// Reads Manifest.mbdb, the manifest of computer backups of iOS 5 to 9: a
// "mbdb\x05\x00" header, then one record per file until the end. The same
// entries as ManifestReader gives from Manifest.db, so that the view does not
// care which form a backup has.
#pragma once

#include "ManifestReader.h"

#include <QByteArray>

#include <vector>

class MbdbReader
{
public:
    // Larger manifests are refused rather than read into memory; a backup
    // of a full phone holds a few tens of megabytes.
    static constexpr qint64 maxManifestSize = qint64(256) << 20;

    // False when the file is missing, too large or not a whole manifest.
    static bool read(const QString& manifestPath, std::vector<ManifestEntry>* entries);
    // False when data is not a whole manifest: a bad header, a record cut
    // short or a length that runs past the end.
    static bool parse(const QByteArray& data, std::vector<ManifestEntry>* entries);
};
