// The archived record of one file of a computer backup (Manifest.db, column
// Files.file): a keyed archive whose root object holds the file's size, its
// protection class and, when the backup is encrypted, its wrapped key.
#pragma once

#include <QByteArray>

struct FileRecord
{
    qint64 size = -1;
    quint32 protectionClass = 0;
    QByteArray wrappedKey; // 4-byte class prefix removed

    // False when the bytes are no such archive.
    static bool parse(const QByteArray& archive, FileRecord* record);
};
