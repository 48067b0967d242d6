#pragma once

#include "ConversationView.h"
#include "ConversionPool.h"
#include "MediaCache.h"
#include "MediaLimits.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

class OutputFolder;

// Makes the attachments of each conversation readable in a browser, into
// media/ of the output folder: HEIC and other pictures browsers cannot show
// become JPEG or PNG, large pictures get a thumbnail, voice messages and
// videos a form browsers play. The files of a conversation are converted on
// the pool's threads; what an earlier run into the same folder made is taken
// from the cache.
class MediaConverter
{
public:
    // What is done with an attachment.
    enum class Handling { None, Picture, BrowserPicture, Audio, Video };

    MediaConverter(const OutputFolder& output, const MediaLimits& limits, int threads = 0);

    // Checked between the steps of a conversion; true stops it, leaving nothing half-written.
    std::function<bool()> cancelled = [] { return false; };
    // Called on the converting thread after each file of a batch.
    std::function<void(int done, int total)> progress;

    // Fills attachment.converted of every picture, voice message and video.
    void convert(ConversationView& conversation);

    static Handling handlingOf(const AttachmentView& attachment);
    // The versions of the libraries conversions use, for --version.
    static QString libraries();

    int converted() const { return made; }
    int reused() const { return fromCache; }
    int failed() const { return notConverted; }

private:
    ConvertedMediaView convertFile(const QString& path, Handling handling, bool hasPreview);
    ConvertedMediaView convertPicture(const QString& path, const QString& key, bool browserReadable,
                                      bool hasPreview);
    ConvertedMediaView convertAudio(const QString& path, const QString& key);
    ConvertedMediaView convertVideo(const QString& path, const QString& key);
    // Writes bytes to relativePath; false (nothing left behind) on a failure or an interruption.
    bool write(const QString& relativePath, const QByteArray& bytes, QString* note);

    const OutputFolder& output;
    MediaLimits limits;
    MediaCache cache;
    ConversionPool pool;
    std::mutex mutex;
    QHash<QString, ConvertedMediaView> done; // original's path -> what it became, this run
    std::atomic<int> made{0};
    std::atomic<int> fromCache{0};
    std::atomic<int> notConverted{0};
};
