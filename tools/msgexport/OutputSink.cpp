#include "OutputSink.h"

#include <QIODevice>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cstdlib>

OutputSink::OutputSink(QIODevice* device)
    : device(device)
{
    if (device)
        bytes.reserve(flushSize + flushSize / 4);
}

OutputSink& OutputSink::number(qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    bytes.append(digits, static_cast<int>(end - digits));
    return *this;
}

OutputSink& OutputSink::jsonNumber(qint64 value)
{
    // Qt keeps JSON numbers as doubles: exact up to 2^53, rounded beyond.
    constexpr qint64 exact = qint64(1) << 53;
    if (value >= -exact && value <= exact)
        return number(value);
    bytes.append(QByteArray::number(static_cast<double>(value), 'g', QLocale::FloatingPointShortest));
    return *this;
}

OutputSink& OutputSink::json(const QString& text)
{
    bytes.append('"');
    appendUtf8(text.constData(), text.size(), Json);
    bytes.append('"');
    return *this;
}

bool OutputSink::flush()
{
    if (!device || bytes.isEmpty())
        return ok;
    ok = ok && device->write(bytes) == bytes.size();
    bytes.resize(0); // keeps the capacity
    return ok;
}

void OutputSink::appendUtf8(const QChar* text, int size, Escape escape)
{
    static const char hex[] = "0123456789abcdef";
    const ushort* src = reinterpret_cast<const ushort*>(text);
    const ushort* const end = src + size;
    // Worst case: a JSON escape of six bytes per unit.
    const int start = bytes.size();
    bytes.resize(start + 6 * size);
    char* out = bytes.data() + start;
    while (src != end) {
        const ushort u = *src++;
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
    bytes.resize(static_cast<int>(out - bytes.data()));
}
