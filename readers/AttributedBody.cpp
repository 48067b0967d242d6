#include "AttributedBody.h"

#include <cstring>
#include <string_view>

namespace {

std::string_view view(const QByteArray& data)
{
    return std::string_view(data.constData(), static_cast<size_t>(data.size()));
}

// QByteArray::indexOf from a known offset, without its per-call set-up.
int find(const QByteArray& data, std::string_view needle, int from)
{
    const size_t at = view(data).find(needle, static_cast<size_t>(from));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// True when NFC leaves the text as it is because every character lies in the
// ranges below: each has combining class 0 and is its own NFC, and no two of
// them compose (every character and every pair was checked against
// QString::normalized). Most message texts qualify, and Qt's normalization
// walks them slowly; the others still go through it.
bool unchangedByNfc(const QString& text)
{
    const ushort* units = text.utf16();
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const ushort unit = units[i];
        if (unit < 0x0300                              // Latin, IPA, spacing modifiers
            || (unit >= 0x2010 && unit <= 0x2027)      // dashes, quotes, bullet, ellipsis
            || unit == 0x20AC || unit == 0x200D        // euro sign, zero-width joiner
            || (unit >= 0x2600 && unit <= 0x27BF)      // symbols, dingbats
            || unit == 0xFE0F || unit == 0xFFFC)       // emoji presentation, attachment placeholder
            continue;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const uint code = QChar::surrogateToUcs4(unit, units[i + 1]);
            if (code >= 0x1F300 && code <= 0x1FAFF) { // emoji
                ++i;
                continue;
            }
        }
        return false;
    }
    return true;
}

// Reads the archive's bytes front to back; anything past the end reads as 0.
class ByteReader
{
public:
    ByteReader(const QByteArray& data, int offset, bool littleEndian)
        : data(data), offset(offset), littleEndian(littleEndian)
    {
    }

    quint8 byte()
    {
        const quint8 value = offset >= 0 && offset < data.size() ? static_cast<quint8>(data.at(offset)) : 0;
        ++offset;
        return value;
    }

    // A signed integer of `bytes` bytes in the archive's byte order; bytes
    // missing at the end of the data count as zero.
    qint64 integer(int bytes)
    {
        quint32 value = 0;
        for (int i = 0; i < bytes; ++i) {
            const quint32 b = byte();
            value |= littleEndian ? b << (8 * i) : b << (8 * (bytes - 1 - i));
        }
        return bytes == 2 ? static_cast<qint16>(value) : static_cast<qint32>(value);
    }

    // The typedstream length: one marker byte, maybe followed by an integer.
    qint64 length()
    {
        quint8 marker = byte();
        if (marker == 0x00)
            marker = byte(); // a zero marker is skipped once
        if (marker <= 0x7F)
            return marker;
        if (marker == 0x81)
            return integer(2);
        if (marker == 0x82)
            return integer(4);
        if (marker >= 0x92)
            return static_cast<qint8>(marker); // negative: no text
        return 0;                              // 0x80, 0x83 to 0x91
    }

    int position() const { return offset; }

private:
    const QByteArray& data;
    int offset;
    bool littleEndian;
};

} // namespace

QString textFromAttributedBody(QByteArray body)
{
    const int p1 = find(body, "NSAttributedString", 0);
    const int p2 = p1 >= 0 ? find(body, "NSString", p1) : -1;
    int p3;
    if (p2 >= 0) {
        p3 = find(body, "+", p2);
    } else {
        // A search from a missing marker looks at the last byte only.
        p3 = !body.isEmpty() && body.at(body.size() - 1) == '+' ? body.size() - 1 : -1;
    }

    // Only the byte order is taken from the header: little-endian when it names
    // "streamtyped" within its first 20 bytes.
    const bool littleEndian = view(body).substr(0, 20).find("streamtyped") != std::string_view::npos;

    ByteReader reader(body, p3 >= 0 ? p3 + 1 : 0, littleEndian);
    const qint64 length = reader.length();
    if (length <= 0)
        return QString();

    const qint64 start = reader.position();
    const qint64 available = start < body.size() ? body.size() - start : 0;
    const int taken = static_cast<int>(qMin(length, available));
    if (taken <= 0)
        return QString();

    const char* text = body.constData() + start;
    // The text ends at its first zero byte, if any.
    const void* zero = std::memchr(text, 0, static_cast<size_t>(taken));
    const int size = zero ? static_cast<int>(static_cast<const char*>(zero) - text) : taken;
    const QString decoded = QString::fromUtf8(text, size);
    return unchangedByNfc(decoded) ? decoded : decoded.normalized(QString::NormalizationForm_C);
}
