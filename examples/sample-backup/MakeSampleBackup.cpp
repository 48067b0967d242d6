// Builds the sample backup from the SQL text and the file list beside this
// source: make-sample-backup OUTPUT_FOLDER SOURCE_FOLDER SCHEMA_FOLDER
#include "FixtureDatabase.h"
#if defined(MSGSAMPLE_WITH_MEDIA)
#include "MediaFixture.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "make-sample-backup: %s\n", qPrintable(message));
    std::exit(1);
}

// Pictures are drawn in a 100 x 100 space and scaled, so a preview shows the
// same scene as its full-size image.
void drawScene(QPainter& painter, const QString& scene)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (scene == QLatin1String("map")) {
        painter.fillRect(QRectF(0, 0, 100, 100), QColor(0xf1, 0xea, 0xd6));
        painter.setBrush(QColor(0xa8, 0xcf, 0x8e));
        painter.drawEllipse(QRectF(8, 10, 45, 35));
        painter.drawEllipse(QRectF(55, 50, 38, 40));
        painter.setBrush(QColor(0x8e, 0xc3, 0xe6));
        painter.drawEllipse(QRectF(60, 12, 22, 14));
        QPainterPath trail(QPointF(10, 90));
        trail.cubicTo(QPointF(30, 60), QPointF(50, 80), QPointF(70, 35));
        trail.cubicTo(QPointF(78, 20), QPointF(88, 25), QPointF(92, 12));
        QPen pen(QColor(0xd0, 0x3b, 0x2f), 1.6, Qt::DashLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(trail);
        return;
    }
    const bool ridge = scene == QLatin1String("ridge");
    QLinearGradient sky(0, 0, 0, 100);
    sky.setColorAt(0, ridge ? QColor(0x2b, 0x1d, 0x5c) : QColor(0x3a, 0x8d, 0xde));
    sky.setColorAt(1, ridge ? QColor(0xf6, 0x8b, 0x4a) : QColor(0xc9, 0xe8, 0xff));
    painter.fillRect(QRectF(0, 0, 100, 100), sky);
    painter.setBrush(ridge ? QColor(0xff, 0xc8, 0x5a) : QColor(0xff, 0xf3, 0xb0));
    painter.drawEllipse(QPointF(ridge ? 50 : 78, ridge ? 62 : 20), 9, 9);
    painter.setBrush(ridge ? QColor(0x3d, 0x2a, 0x4e) : QColor(0x55, 0x6b, 0x7d));
    painter.drawPolygon(QPolygonF({QPointF(0, 100), QPointF(28, 38), QPointF(55, 100)}));
    painter.setBrush(ridge ? QColor(0x24, 0x18, 0x33) : QColor(0x3f, 0x52, 0x61));
    painter.drawPolygon(QPolygonF({QPointF(30, 100), QPointF(65, 30), QPointF(100, 100)}));
    if (!ridge) {
        painter.setBrush(Qt::white);
        painter.drawPolygon(QPolygonF({QPointF(65, 30), QPointF(58.5, 43), QPointF(71.5, 43)}));
    }
}

void makePicture(const QString& path, const QString& format, int width, int height, const QString& scene)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.scale(width / 100.0, height / 100.0);
    drawScene(painter, scene);
    painter.end();
    if (!image.save(path, format.toLatin1().constData(), 85))
        fail(QStringLiteral("cannot write %1").arg(path));
}

// HEIC pictures, voice messages and movies need libheif and FFmpeg; a
// generator built without them writes a stand-in of the same name (a JPEG
// or PNG, or a line of text), so that the backup lists the same files either way.
bool makeMedia(const QString& path, const QString& kind, int width, int height, const QString& scene)
{
#if defined(MSGSAMPLE_WITH_MEDIA)
    QString error;
    bool made = false;
    if (kind == QLatin1String("heic")) {
        QImage image = scene == QLatin1String("sticker") ? MediaFixture::pattern(width, height, true)
                                                          : QImage(width, height, QImage::Format_RGB32);
        if (scene != QLatin1String("sticker")) {
            QPainter painter(&image);
            painter.scale(width / 100.0, height / 100.0);
            drawScene(painter, scene);
        }
        const QByteArray bytes = MediaFixture::heic(image, 50, &error);
        QFile file(path);
        made = !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    } else if (kind == QLatin1String("caf")) {
        made = MediaFixture::voiceMessage(path, width, &error);
    } else {
        made = MediaFixture::movie(path, width, height, 30, &error);
    }
    if (!made)
        fail(QStringLiteral("cannot write %1: %2").arg(path, error));
    return true;
#else
    if (kind == QLatin1String("heic")) {
        const bool sticker = scene == QLatin1String("sticker");
        makePicture(path, sticker ? QStringLiteral("png") : QStringLiteral("jpeg"), width, height,
                    sticker ? QStringLiteral("map") : scene);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("stand-in: built without media support\n") <= 0)
        fail(QStringLiteral("cannot write %1").arg(path));
    return false;
#endif
}

void makeDatabase(const QString& path, const QString& schema, const QString& content)
{
    const QString sql = FixtureDatabase::readText(schema) + QLatin1Char('\n') + FixtureDatabase::readText(content);
    QString error;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())
        || !FixtureDatabase::create(path, sql, FixtureDatabase::Journal::Rollback, &error))
        fail(QStringLiteral("%1: %2").arg(path, error));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // image format plugins
    const QStringList args = app.arguments();
    if (args.size() != 4)
        fail(QStringLiteral("usage: make-sample-backup OUTPUT_FOLDER SOURCE_FOLDER SCHEMA_FOLDER"));
    const QDir output(args.at(1));
    const QDir source(args.at(2));
    const QDir schemas(args.at(3));

    // Start from nothing, so that files dropped from the list disappear.
    for (const char* folder : {"SMS", "AddressBook"})
        QDir(output.filePath(QLatin1String(folder))).removeRecursively();

    makeDatabase(output.filePath(QStringLiteral("SMS/sms.db")), schemas.filePath(QStringLiteral("ios16-sms.sql")),
                 source.filePath(QStringLiteral("sms.sql")));
    makeDatabase(output.filePath(QStringLiteral("AddressBook/AddressBook.sqlitedb")),
                 schemas.filePath(QStringLiteral("addressbook.sql")), source.filePath(QStringLiteral("addressbook.sql")));

    QFile list(source.filePath(QStringLiteral("files.txt")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QStringLiteral("cannot read %1").arg(list.fileName()));
    QTextStream lines(&list);
    lines.setCodec("UTF-8");
    while (!lines.atEnd()) {
        const QString line = lines.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        // Four fields, then the path, which may hold blanks.
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 5)
            fail(QStringLiteral("bad line in files.txt: %1").arg(line));
        const QString path = output.filePath(fields.mid(4).join(QLatin1Char(' ')));
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QString& kind = fields.at(0);
        if (kind == QLatin1String("copy")) {
            QFile::remove(path);
            if (!QFile::copy(source.filePath(fields.at(3)), path))
                fail(QStringLiteral("cannot copy %1").arg(fields.at(3)));
        } else if (kind == QLatin1String("jpeg") || kind == QLatin1String("png")) {
            makePicture(path, kind, fields.at(1).toInt(), fields.at(2).toInt(), fields.at(3));
        } else if (kind == QLatin1String("heic") || kind == QLatin1String("caf") || kind == QLatin1String("mov")) {
            makeMedia(path, kind, fields.at(1).toInt(), fields.at(2).toInt(), fields.at(3));
        } else {
            fail(QStringLiteral("unknown kind %1").arg(kind));
        }
    }
    return 0;
}
