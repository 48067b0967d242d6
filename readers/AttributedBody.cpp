#include "AttributedBody.h"

#include <cstring>

namespace {

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
    const int p1 = body.indexOf("NSAttributedString");
    const int p2 = p1 >= 0 ? body.indexOf("NSString", p1) : -1;
    int p3;
    if (p2 >= 0) {
        p3 = body.indexOf('+', p2);
    } else {
        // A search from a missing marker looks at the last byte only.
        p3 = !body.isEmpty() && body.at(body.size() - 1) == '+' ? body.size() - 1 : -1;
    }

    // Only the byte order is taken from the header: little-endian when it names
    // "streamtyped" within its first 20 bytes.
    const bool littleEndian = body.left(20).contains("streamtyped");

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
    return QString::fromUtf8(text, size).normalized(QString::NormalizationForm_C);
}
