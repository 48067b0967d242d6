// libFuzzer target for the details' typedstream reader and the attributed
// string on top of it: whatever the bytes, no read outside them, no
// allocation beyond the reader's bounds, no crash; runs stay inside the text.
#include "details/readers/ArchivedBody.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray blob(reinterpret_cast<const char*>(data), static_cast<int>(size));
    ArchivedBody body;
    ArchivedBody::mayBeStyled(blob.constData(), blob.size());
    if (!ArchivedBody::parse(blob, &body))
        return 0;
    int end = 0;
    for (const MsgTextRun& run : body.runs) {
        if (run.start != end || run.length <= 0 || run.start + run.length > body.text.size())
            std::abort();
        end = run.start + run.length;
    }
    return 0;
}
