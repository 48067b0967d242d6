// Writes the seed corpus of the message-details fuzzer: real-shaped property
// lists behind their selector byte, and broken variants.
#include "PropertyListFixture.h"

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
    for (const char* json : {R"({"ec": {"0": [{"d": 7.0e8, "t": "first"}, {"d": 7.1e8, "t": "second"}]}, "ep": [0]})",
                             R"({"rp": [0, 2], "ust": true, "otr": {"0": {"lo": 0, "le": 5}}})",
                             R"({"ec": {"1": [{"d": 1, "t": "Grüße 👋"}], "0": []}, "amc": 2})"}) {
        const QByteArray plist = PropertyListFixture::summaryInfo(QString::fromUtf8(json));
        seeds << QByteArray(1, '\0') + plist << QByteArray(1, '\0') + plist.left(plist.size() / 2);
    }
    for (const QString& title : {QStringLiteral("Ridge Loop Trail"), QString(300, QLatin1Char('t'))}) {
        const QByteArray plist = PropertyListFixture::linkPayload(QStringLiteral("https://example.com/a"), title,
                                                                  QStringLiteral("summary"));
        seeds << QByteArray(1, '\1') + plist << QByteArray(1, '\1') + plist.mid(0, plist.size() - 7);
    }
    seeds << QByteArray("\0bplist00", 9) << QByteArray("\1bplist00\xd0", 10);
    int index = 0;
    for (const QByteArray& seed : seeds) {
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(index++, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}
