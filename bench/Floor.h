// The least a load of a backup can cost: the statements the library runs, on
// connections opened the way it opens them, with every row stepped and every
// column it reads fetched, and one listing of each attachment's folder.
#pragma once

#include <QString>
#include <QtGlobal>

struct FloorCounts
{
    bool schemaFound = false;
    qint64 chatRows = 0;
    qint64 handleRows = 0;
    qint64 messageRows = 0;
    qint64 attachmentRows = 0;
    qint64 personRows = 0;
    qint64 addressRows = 0;
    qint64 foldersListed = 0; // attachment folders that could be opened
    quint64 checksum = 0;     // of the bytes fetched, so that nothing is skipped
};

FloorCounts runFloor(const QString& backupFolder);
