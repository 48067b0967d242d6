// Key derivation and unwrapping against published vectors, and decryption of
// files cut short.
#include "BackupCrypto.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BackupCrypto, Pbkdf2MatchesPublishedVectors)
{
    struct Vector
    {
        bool sha256;
        QByteArray password, salt;
        int iterations;
        const char* hex;
    };
    const Vector vectors[] = {
        // RFC 6070 (HMAC-SHA1)
        {false, "password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {false, "password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {false, "password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {false, "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {false, QByteArray("pass\0word", 9), QByteArray("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
        // RFC 7914, section 11 (HMAC-SHA256)
        {true, "passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
         "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
    };
    for (const Vector& v : vectors) {
        const QByteArray expected = QByteArray::fromHex(v.hex);
        const QByteArray key = v.sha256 ? BackupCrypto::pbkdf2Sha256(v.password, v.salt, v.iterations, expected.size())
                                        : BackupCrypto::pbkdf2Sha1(v.password, v.salt, v.iterations, expected.size());
        EXPECT_EQ(key.toHex(), expected.toHex()) << v.password.constData() << " c=" << v.iterations;
    }
    EXPECT_TRUE(BackupCrypto::pbkdf2Sha1("p", "s", 0, 32).isEmpty());
}

TEST(BackupCrypto, UnwrapMatchesRfc3394AndRefusesAWrongKey)
{
    // RFC 3394, 4.6: 256 bits of key data with a 256-bit KEK.
    const QByteArray kek = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
    const QByteArray wrapped =
        QByteArray::fromHex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
    EXPECT_EQ(BackupCrypto::unwrapKey(kek, wrapped).toHex(),
              QByteArray("00112233445566778899aabbccddeeff000102030405060708090a0b0c0d0e0f"));
    QByteArray otherKek = kek;
    otherKek[0] = 1;
    EXPECT_TRUE(BackupCrypto::unwrapKey(otherKek, wrapped).isEmpty());
    EXPECT_TRUE(BackupCrypto::unwrapKey(kek, wrapped.left(36)).isEmpty());
    EXPECT_TRUE(BackupCrypto::unwrapKey(kek.left(16), wrapped).isEmpty());
}

TEST(BackupCrypto, FilesAreCutToTheirSizeAndShortOnesAreTruncated)
{
    QTemporaryDir dir;
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
    const QString source = dir.filePath(QStringLiteral("in"));
    const QString target = dir.filePath(QStringLiteral("out"));
    for (const auto& c : cases) {
        QFile in(source);
        ASSERT_TRUE(in.open(QIODevice::WriteOnly | QIODevice::Truncate));
        in.write(cipher.left(c.cut));
        in.close();
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
