// Decryption of files cut short and of their padding; key derivation and
// unwrapping are checked by every encrypted backup the test writer makes.
#include "BackupCrypto.h"
#include "TestBackup.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(BackupCrypto, FilesAreCutToTheirSizeAndShortOnesAreTruncated)
{
    TestBackup dir;
    const QByteArray key(32, 'k');
    const QByteArray cipher = QByteArray(48, 'c');
    const QByteArray plain = BackupCrypto::decrypt(key, cipher);
    ASSERT_EQ(plain.size(), 48);
    const struct
    {
        int cut;
        qint64 size;
        BackupCrypto::FileResult result;
    } cases[] = {
        {48, 43, BackupCrypto::FileResult::Done},
        {48, 48, BackupCrypto::FileResult::Done},
        {47, 43, BackupCrypto::FileResult::Truncated}, // no whole block
        {32, 43, BackupCrypto::FileResult::Truncated}, // shorter than its size
    };
    const QString source = dir.path(QStringLiteral("in"));
    const QString target = dir.path(QStringLiteral("out"));
    for (const auto& c : cases) {
        dir.writeFile(QStringLiteral("in"), cipher.left(c.cut));
        EXPECT_EQ(BackupCrypto::decryptFile(key, source, target, c.size), c.result) << c.cut;
        QFile out(target);
        if (c.result == BackupCrypto::FileResult::Done) {
            ASSERT_TRUE(out.open(QIODevice::ReadOnly));
            EXPECT_EQ(out.readAll(), plain.left(int(c.size))) << c.cut;
        }
    }
}

TEST(BackupCrypto, OnlyValidPaddingIsStripped)
{
    const struct
    {
        QByteArray text;
        int length;
    } cases[] = {
        {QByteArray(11, 'x') + QByteArray(5, 5), 11},
        {QByteArray(16, 16), 0},
        {QByteArray(11, 'x') + QByteArray("\x05\x05\x06\x05\x05"), 16}, // one byte of the five differs
        {QByteArray(15, 'x') + QByteArray(1, 0), 16},
        {QByteArray(15, 'x') + QByteArray(1, 17), 16},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BackupCrypto::unpaddedLength(c.text), c.length) << c.text.toHex().constData();
}
