#include "MediaCache.h"

#include "OutputFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Changes when what a conversion makes changes, so that older results are
// made again rather than reused.
const char* const recordVersion = "msgexport-media-1";

const char* kindName(ConvertedMediaView::Kind kind)
{
    switch (kind) {
    case ConvertedMediaView::Kind::Image:
        return "image";
    case ConvertedMediaView::Kind::Audio:
        return "audio";
    case ConvertedMediaView::Kind::Video:
        return "video";
    case ConvertedMediaView::Kind::None:
        break;
    }
    return "none";
}

} // namespace

MediaCache::MediaCache(const OutputFolder& output)
    : output(output)
{
}

QString MediaCache::keyOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(recordVersion);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex().left(32));
}

QString MediaCache::fileName(const QString& key, const QString& suffix)
{
    // Two levels of folders keep each one small in an export of many thousands.
    return QStringLiteral("media/%1/%2%3").arg(key.left(2), key, suffix);
}

bool MediaCache::present(const QString& relativePath) const
{
    if (relativePath.isEmpty())
        return true;
    const QFileInfo info(QDir(output.path()).filePath(relativePath));
    return info.isFile() && !info.isSymLink() && info.size() > 0;
}

bool MediaCache::find(const QString& key, ConvertedMediaView* media) const
{
    const QFileInfo info(QDir(output.path()).filePath(fileName(key, QStringLiteral(".json"))));
    if (!info.isFile() || info.isSymLink() || info.size() > 64 * 1024)
        return false;
    QFile file(info.filePath());
    ConvertedMediaView found;
    if (!file.open(QIODevice::ReadOnly) || !fromRecord(file.readAll(), &found))
        return false;
    // Only files of this key are taken from a record; anything else in it is
    // not this program's.
    const QString own = QStringLiteral("media/%1/%2").arg(key.left(2), key);
    for (const QString* path : {&found.path, &found.thumbnail}) {
        if (!path->isEmpty() && (!path->startsWith(own) || path->contains(QLatin1String("..")) || !present(*path)))
            return false;
    }
    *media = found;
    for (const QString& path : {fileName(key, QStringLiteral(".json")), found.path, found.thumbnail}) {
        if (!path.isEmpty())
            output.keepFile(path);
    }
    return true;
}

bool MediaCache::store(const QString& key, const ConvertedMediaView& media, QString* error) const
{
    const QByteArray record = toRecord(media);
    return output.writeFile(
        fileName(key, QStringLiteral(".json")),
        [&record](QIODevice& device) { return device.write(record) == record.size(); }, error);
}

QByteArray MediaCache::toRecord(const ConvertedMediaView& media)
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QLatin1String(kindName(media.kind)));
    object.insert(QStringLiteral("path"), media.path);
    object.insert(QStringLiteral("mimeType"), media.mimeType);
    object.insert(QStringLiteral("thumbnail"), media.thumbnail);
    object.insert(QStringLiteral("width"), media.width);
    object.insert(QStringLiteral("height"), media.height);
    object.insert(QStringLiteral("durationMs"), media.durationMs);
    object.insert(QStringLiteral("note"), media.note);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool MediaCache::fromRecord(const QByteArray& record, ConvertedMediaView* media)
{
    const QJsonDocument document = QJsonDocument::fromJson(record);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QString kind = object.value(QStringLiteral("kind")).toString();
    ConvertedMediaView result;
    for (const auto k : {ConvertedMediaView::Kind::Image, ConvertedMediaView::Kind::Audio, ConvertedMediaView::Kind::Video}) {
        if (kind == QLatin1String(kindName(k)))
            result.kind = k;
    }
    if (result.kind == ConvertedMediaView::Kind::None)
        return false;
    result.path = object.value(QStringLiteral("path")).toString();
    result.mimeType = object.value(QStringLiteral("mimeType")).toString();
    result.thumbnail = object.value(QStringLiteral("thumbnail")).toString();
    result.width = object.value(QStringLiteral("width")).toInt();
    result.height = object.value(QStringLiteral("height")).toInt();
    result.durationMs = static_cast<qint64>(object.value(QStringLiteral("durationMs")).toDouble());
    result.note = object.value(QStringLiteral("note")).toString();
    *media = result;
    return true;
}
