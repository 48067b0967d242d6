#include "LinkPayload.h"

#include "KeyedArchive.h"

namespace {

// The kind a specialized metadata object's class names: shared places,
// App Store and Apple Music previews, iCloud collaborations.
QString specialization(const KeyedArchive& archive)
{
    static const char* const kinds[][2] = {{"LPMap", "place"},
                                           {"LPiTunesMediaSoftware", "App Store"},
                                           {"LPAppStore", "App Store"},
                                           {"LPiTunesMedia", "Apple Music"},
                                           {"LPAppleMusic", "Apple Music"},
                                           {"Collaboration", "collaboration"}};
    for (uint32_t i = 0; i < archive.objectCount(); ++i) {
        const QString name = KeyedArchive::textOf(archive.member(archive.object(i), "$classname"));
        if (name.isEmpty())
            continue;
        for (const auto& k : kinds) {
            if (name.startsWith(QLatin1String(k[0])) || (k[0][0] != 'L' && name.contains(QLatin1String(k[0]))))
                return QString::fromLatin1(k[1]);
        }
    }
    return QString();
}

// An NSURL is archived as a dictionary around its string.
QString urlOf(const KeyedArchive& archive, plist_t node)
{
    return node && plist_get_node_type(node) == PLIST_DICT ? KeyedArchive::textOf(archive.member(node, "NS.relative"))
                                                            : KeyedArchive::textOf(node);
}

}

bool LinkPayload::parse(const QByteArray& blob, QString* title, QString* summary, QString* url)
{
    QString kind;
    return parse(blob, title, summary, url, &kind);
}

bool LinkPayload::parse(const QByteArray& blob, QString* title, QString* summary, QString* url, QString* kind)
{
    const KeyedArchive archive(blob);
    if (!archive.valid())
        return false;
    *kind = specialization(archive);
    plist_t metadata = archive.objectOfClass("LPLinkMetadata");
    if (!metadata)
        return true;
    *title = KeyedArchive::textOf(archive.member(metadata, "title"));
    *summary = KeyedArchive::textOf(archive.member(metadata, "summary"));
    *url = urlOf(archive, archive.member(metadata, "URL"));
    if (url->isEmpty())
        *url = urlOf(archive, archive.member(metadata, "originalURL"));
    return true;
}
