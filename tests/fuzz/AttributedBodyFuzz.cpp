// libFuzzer target for the archived-body decoder: whatever the bytes, it must
// not read outside them, allocate beyond them or crash.
#include "readers/AttributedBody.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A detached copy, so that the sanitizer sees the exact extent of the data.
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QString text = textFromAttributedBody(body);
    // The text is made of the body's bytes; normalisation lengthens a text by
    // at most a factor of three.
    if (static_cast<std::size_t>(text.size()) > 3 * size + 16)
        std::abort();
    return 0;
}
