// The list of files of a computer backup, whichever manifest it has:
// Manifest.db (iOS 10 on, encrypted with the backup) or Manifest.mbdb
// (iOS 5 to 9, plain even in encrypted backups).
#pragma once

#include "ManifestReader.h"

#include <vector>

class BackupLayout;
class KeyBag;

class ManifestSource
{
public:
    // Whether the backup holds a manifest of either form.
    static bool exists(const BackupLayout& layout);
    // The entries of the backup's manifest. keys is the unlocked keybag of an
    // encrypted backup, else null; an encrypted Manifest.db is decrypted into
    // privateFolder and removed once read. False when it cannot be read.
    static bool read(const BackupLayout& layout, const KeyBag* keys, const QString& privateFolder,
                     std::vector<ManifestEntry>* entries);
};
