#include "ManifestSource.h"

#include "BackupCrypto.h"
#include "BackupLayout.h"
#include "KeyBag.h"
#include "MbdbReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool ManifestSource::exists(const BackupLayout& layout)
{
    return QFileInfo(layout.path(layout.manifestName())).isFile();
}

bool ManifestSource::read(const BackupLayout& layout, const KeyBag* keys, const QString& privateFolder,
                          std::vector<ManifestEntry>* entries)
{
    entries->clear();
    const QString manifestPath = layout.path(layout.manifestName());
    if (layout.form() == BackupLayout::Form::Mbdb)
        return MbdbReader::read(manifestPath, entries);
    if (!keys)
        return ManifestReader::read(manifestPath, entries);

    const QByteArray key = BackupCrypto::unwrapKey(keys->classKey(layout.manifestClass()), layout.manifestKey());
    // Decrypted into the view, never beside the backup; removed once read.
    const QString decrypted = QDir(privateFolder).filePath(QStringLiteral(".Manifest.db"));
    if (key.isEmpty() || BackupCrypto::decryptFile(key, manifestPath, decrypted, -1) != BackupCrypto::FileResult::Done) {
        QFile::remove(decrypted);
        return false;
    }
    const bool read = ManifestReader::read(decrypted, entries);
    QFile::remove(decrypted);
    return read;
}
