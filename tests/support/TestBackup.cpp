#include "TestBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TestBackup::TestBackup()
{
    EXPECT_TRUE(dir.isValid());
}

QString TestBackup::schema(const QString& name)
{
    const QString text = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/") + name);
    EXPECT_FALSE(text.isEmpty()) << "no schema " << name.toStdString();
    return text;
}

bool TestBackup::writeDatabase(const QString& relative, const QString& sql, FixtureDatabase::Journal journal)
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    QString error;
    const bool ok = FixtureDatabase::create(file, sql, journal, &error);
    EXPECT_TRUE(ok) << error.toStdString();
    return ok;
}

bool TestBackup::writeSmsDb(const QString& rows, const QString& schemaName)
{
    return writeDatabase(QStringLiteral("SMS/sms.db"), schema(schemaName) + rows);
}

bool TestBackup::writeAddressBook(const QString& rows)
{
    return writeDatabase(QStringLiteral("AddressBook/AddressBook.sqlitedb"), schema(QStringLiteral("addressbook.sql")) + rows);
}

void TestBackup::writeFile(const QString& relative, const QByteArray& content)
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << file.toStdString();
    out.write(content);
}
