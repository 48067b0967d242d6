#include "OutputSink.h"

#include <QIODevice>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cstdlib>

OutputSink::OutputSink(QIODevice* device)
    : device(device)
{
    bytes.resize(device ? flushSize + flushSize / 4 : 256);
    cursor = bytes.data();
    limit = cursor + bytes.size();
}

void OutputSink::grow(size_t length)
{
    const int used = size();
    bytes.resize(std::max(used + static_cast<int>(length), 2 * bytes.size()));
    cursor = bytes.data() + used;
    limit = bytes.data() + bytes.size();
}

QByteArray& OutputSink::data()
{
    bytes.resize(size());
    cursor = limit = bytes.data() + bytes.size();
    return bytes;
}

OutputSink& OutputSink::number(qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return append(digits, static_cast<size_t>(end - digits));
}

OutputSink& OutputSink::jsonNumber(qint64 value)
{
    // Qt keeps JSON numbers as doubles: exact up to 2^53, rounded beyond.
    constexpr qint64 exact = qint64(1) << 53;
    if (value >= -exact && value <= exact)
        return number(value);
    const QByteArray text = QByteArray::number(static_cast<double>(value), 'g', QLocale::FloatingPointShortest);
    return append(text.constData(), static_cast<size_t>(text.size()));
}

OutputSink& OutputSink::json(const QString& text)
{
    *this << '"';
    appendUtf8(text.constData(), text.size(), Json);
    return *this << '"';
}

bool OutputSink::flush()
{
    const int used = size();
    if (!device || used == 0)
        return ok;
    ok = ok && device->write(bytes.constData(), used) == used;
    cursor = bytes.data();
    return ok;
}

namespace {

bool isControl(ushort u)
{
    return (u < 0x20 && u != '\n' && u != '\t') || (u >= 0x7F && u < 0xA0) || (u >= 0x202A && u <= 0x202E)
        || (u >= 0x2066 && u <= 0x2069);
}

} // namespace

QString OutputSink::withoutControls(const QString& text)
{
    QString safe = text;
    for (QChar& c : safe) {
        if (isControl(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return safe;
}

void OutputSink::appendUtf8(const QChar* text, int units, Escape escape)
{
    static const char hex[] = "0123456789abcdef";
    const ushort* src = reinterpret_cast<const ushort*>(text);
    const ushort* const end = src + units;
    // Worst case: a JSON escape of six bytes per unit.
    const size_t room = 6 * static_cast<size_t>(units);
    if (static_cast<size_t>(limit - cursor) < room)
        grow(room);
    char* out = cursor;
    while (src != end) {
        const ushort u = *src++;
        if (escape == Terminal && isControl(u)) {
            out = std::copy_n("\xEF\xBF\xBD", 3, out);
            continue;
        }
        if (u < 0x80) {
            if (escape == Html) {
                switch (u) {
                case '&': out = std::copy_n("&amp;", 5, out); continue;
                case '<': out = std::copy_n("&lt;", 4, out); continue;
                case '>': out = std::copy_n("&gt;", 4, out); continue;
                case '"': out = std::copy_n("&quot;", 6, out); continue;
                case '\'': out = std::copy_n("&#39;", 5, out); continue;
                default: break;
                }
            } else if (escape == Json && (u < 0x20 || u == '"' || u == '\\')) {
                *out++ = '\\';
                switch (u) {
                case '"': *out++ = '"'; break;
                case '\\': *out++ = '\\'; break;
                case '\b': *out++ = 'b'; break;
                case '\f': *out++ = 'f'; break;
                case '\n': *out++ = 'n'; break;
                case '\r': *out++ = 'r'; break;
                case '\t': *out++ = 't'; break;
                default: out = std::copy_n("u00", 3, out); *out++ = hex[u >> 4]; *out++ = hex[u & 0xF];
                }
                continue;
            }
            *out++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && src != end && QChar::isLowSurrogate(*src)) {
            const uint c = QChar::surrogateToUcs4(u, *src++);
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (escape == Json) {
            // A lone surrogate: Qt's JSON escapes it, its UTF-8 writes '?'.
            *out++ = '\\';
            *out++ = 'u';
            for (int shift = 12; shift >= 0; shift -= 4)
                *out++ = hex[(u >> shift) & 0xF];
        } else {
            *out++ = '?';
        }
    }
    cursor = out;
}
