// libFuzzer target for the property lists of the message table: the first
// byte picks message_summary_info (even) or a link's payload_data (odd), the
// rest is the blob. Whatever the bytes, no crash, no read outside them and
// no answer larger than they can hold.
#include "details/readers/LinkPayload.h"
#include "details/readers/SummaryInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray blob(reinterpret_cast<const char*>(data) + 1, static_cast<int>(size - 1));
    std::size_t produced = 0;
    if (data[0] % 2 == 0) {
        QList<MsgEdit> edits;
        QList<int> parts;
        if (!SummaryInfo::parse(blob, &edits, &parts) && (!edits.isEmpty() || !parts.isEmpty()))
            std::abort(); // a refused blob adds nothing
        for (const MsgEdit& edit : edits)
            produced += 1 + static_cast<std::size_t>(edit.text.size());
        produced += static_cast<std::size_t>(parts.size());
    } else {
        QString title, summary, url;
        if (!LinkPayload::parse(blob, &title, &summary, &url) && !(title + summary + url).isEmpty())
            std::abort();
        produced = static_cast<std::size_t>(title.size() + summary.size() + url.size());
    }
    // Every version, part and character comes from bytes of the blob; an
    // archived body's text is at most three times its bytes after NFC.
    if (produced > 3 * size + 16)
        std::abort();
    return 0;
}
