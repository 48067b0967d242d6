// Writes the seed corpus of the media fuzz target: small real pictures,
// voice messages and movies behind their selector byte (even: picture, odd:
// audio or video), each also cut short.
#include "MediaFixture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3 || std::strcmp(argv[1], "media") != 0) {
        std::fprintf(stderr, "usage: %s media CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(corpus.path());
    QTemporaryDir temp;
    QList<QByteArray> pictures = {MediaFixture::heic(MediaFixture::pattern(64, 48, false)),
                                  MediaFixture::heic(MediaFixture::pattern(40, 40, true)),
                                  encoded(MediaFixture::pattern(48, 32, false), "JPEG"),
                                  encoded(MediaFixture::pattern(32, 48, true), "PNG")};
    QList<QByteArray> media;
    QString error;
    const QString voice = temp.filePath(QStringLiteral("voice.caf"));
    const QString pcm = temp.filePath(QStringLiteral("pcm.caf"));
    const QString movie = temp.filePath(QStringLiteral("movie.mov"));
    if (MediaFixture::voiceMessage(voice, 300, &error))
        media << fileBytes(voice);
    if (MediaFixture::voiceMessage(pcm, 200, &error, true))
        media << fileBytes(pcm);
    if (MediaFixture::movie(movie, 64, 48, 4, &error))
        media << fileBytes(movie);
    int n = 0;
    const auto write = [&](char selector, const QByteArray& bytes) {
        for (const QByteArray& seed : {bytes, bytes.left(bytes.size() / 2)}) {
            QFile file(corpus.filePath(QStringLiteral("seed-%1").arg(n++)));
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1, selector) + seed) != seed.size() + 1)
                return false;
        }
        return true;
    };
    for (const QByteArray& picture : pictures) {
        if (picture.isEmpty() || !write('\0', picture))
            return 1;
    }
    for (const QByteArray& file : media) {
        if (file.isEmpty() || !write('\1', file))
            return 1;
    }
    return media.size() == 3 ? 0 : 1;
}
