// libFuzzer target for what the backup library reads from an encrypted
// backup before any key is known: the keybag of Manifest.plist and the
// archived file records of Manifest.db. The first byte picks the reader.
#include "FileRecord.h"
#include "KeyBag.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<int>(size - 1));
    if (data[0] & 1) {
        FileRecord record;
        if (FileRecord::parse(bytes, &record) && record.wrappedKey.size() >= bytes.size())
            std::abort(); // the key is part of the archive
    } else {
        KeyBag keys;
        if (keys.parse(bytes) == KeyBag::Status::Ready && keys.classCount() * 8 > static_cast<std::size_t>(bytes.size()))
            std::abort(); // every class entry takes records of its own
    }
    return 0;
}
