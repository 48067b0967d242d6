#pragma once

#include "ConversationView.h"

#include <QString>

class OutputFolder;

// What earlier exports into the same folder converted, kept below media/ in
// the output folder: each conversion's files are named after a hash of the
// original's content, and a small record beside them, written last, says
// what they are. A record whose files have gone is not a hit.
class MediaCache
{
public:
    explicit MediaCache(const OutputFolder& output);

    // The key of the file at path: a hash of its content. Empty when the file
    // cannot be read.
    static QString keyOf(const QString& path);
    // The file of a conversion, relative to the output folder.
    static QString fileName(const QString& key, const QString& suffix);

    bool find(const QString& key, ConvertedMediaView* media) const;
    bool store(const QString& key, const ConvertedMediaView& media, QString* error) const;

    static QByteArray toRecord(const ConvertedMediaView& media);
    static bool fromRecord(const QByteArray& record, ConvertedMediaView* media);

private:
    bool present(const QString& relativePath) const;

    const OutputFolder& output;
};
