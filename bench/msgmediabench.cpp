// msgexport's media step on generated files.
//   msgmediabench generate DIR SIDE COUNT [VIDEOS VOICES]
//       writes COUNT HEIC photos of SIDE x 3/4 SIDE pixels (each a different
//       picture), and VIDEOS one-second H.264 movies and VOICES five-second
//       voice messages, into DIR
//   msgmediabench convert OUTPUT FILE...
//       converts the files as one conversation into OUTPUT/media with a
//       worker per core, as msgexport does; prints the files, seconds, files
//       a second and what was converted or reused
#include "MediaConverter.h"
#include "MediaFixture.h"
#include "OutputFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <cstdio>

namespace {

int generate(const QStringList& args)
{
    const QDir dir(args.at(0));
    QDir().mkpath(dir.path());
    const int side = args.at(1).toInt();
    const int count = args.at(2).toInt();
    const int videos = args.value(3).toInt();
    const int voices = args.value(4).toInt();
    QString error;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo-%1.heic").arg(i, 4, 10, QLatin1Char('0')));
        if (QFileInfo::exists(path))
            continue;
        QImage image = MediaFixture::pattern(side, side * 3 / 4, false);
        // The photo's number as a row of light and dark squares: every photo differs.
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        const int cell = side / 24;
        for (int bit = 0; bit < 12; ++bit) {
            painter.setBrush(((i >> bit) & 1) != 0 ? Qt::white : Qt::black);
            painter.drawRect(cell * (2 * bit + 1), cell, cell, cell);
        }
        painter.end();
        const QByteArray bytes = MediaFixture::heic(image, 60, &error);
        QFile file(path);
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "msgmediabench: %s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
    }
    for (int i = 0; i < videos; ++i) {
        const QString path = dir.filePath(QStringLiteral("video-%1.mov").arg(i, 4, 10, QLatin1Char('0')));
        if (!QFileInfo::exists(path) && !MediaFixture::movie(path, 640 + 16 * (i % 8), 360, 30, &error)) {
            std::fprintf(stderr, "msgmediabench: %s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
    }
    for (int i = 0; i < voices; ++i) {
        const QString path = dir.filePath(QStringLiteral("voice-%1.caf").arg(i, 4, 10, QLatin1Char('0')));
        if (!QFileInfo::exists(path) && !MediaFixture::voiceMessage(path, 5000 + 10 * i, &error)) {
            std::fprintf(stderr, "msgmediabench: %s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
    }
    return 0;
}

int convert(const QStringList& args)
{
    ConversationView conversation;
    MessageView message;
    for (const QString& path : args.mid(1)) {
        PieceView piece;
        piece.kind = PieceView::Kind::Attachment;
        AttachmentView& attachment = piece.attachment;
        attachment.fileName = QFileInfo(path).fileName();
        attachment.filePath = QFileInfo(path).absoluteFilePath();
        attachment.previewPath = attachment.filePath;
        attachment.fileState = BackupBoundary::FileState::Present;
        attachment.mimeType = path.endsWith(QLatin1String(".heic")) ? QStringLiteral("image/heic")
                              : path.endsWith(QLatin1String(".mov")) ? QStringLiteral("video/quicktime")
                                                                     : QStringLiteral("audio/x-caf");
        message.pieces << piece;
    }
    conversation.messages << message;
    const OutputFolder output(args.at(0));
    if (!output.isOpen()) {
        std::fprintf(stderr, "msgmediabench: %s\n", qPrintable(output.errorString()));
        return 1;
    }
    MediaConverter converter(output, MediaLimits());
    QElapsedTimer timer;
    timer.start();
    converter.convert(conversation);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const int files = message.pieces.size();
    std::printf("%d %.3f %.2f %d %d %d\n", files, seconds, files / seconds, converter.converted(), converter.reused(),
                converter.failed());
    return converter.failed() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 3 && args.at(0) == QLatin1String("generate"))
        return generate(args.mid(1));
    if (args.size() >= 3 && args.at(0) == QLatin1String("convert"))
        return convert(args.mid(1));
    std::fprintf(stderr, "usage: msgmediabench generate DIR SIDE COUNT [VIDEOS VOICES] | convert OUTPUT FILE...\n");
    return 2;
}
