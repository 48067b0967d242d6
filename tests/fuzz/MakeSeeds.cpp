// Writes the fuzzer's seed corpus: real-shaped archives and broken variants.
#include "TypedStreamArchive.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QList<QByteArray> seeds;
    for (const QString& text : {QStringLiteral("ok"), QString::fromUtf8("Grüße 👋 日本語"), QString(200, QLatin1Char('w')),
                                QString(40000, QLatin1Char('x')), QString::fromUtf8("Cafe\xCC\x81")}) {
        const QByteArray archive = TypedStreamArchive::attributedString(text);
        seeds << archive << archive.left(archive.size() / 2) << archive.mid(16);
    }
    seeds << QByteArray("0") << QByteArray("+") << QByteArray("NSAttributedStringNSString+\x81\xff\x7f")
          << QByteArray("NSAttributedStringNSString+\x82\xff\xff\xff\x7f" "abc");
    int index = 0;
    for (const QByteArray& seed : seeds) {
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(index++, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}
