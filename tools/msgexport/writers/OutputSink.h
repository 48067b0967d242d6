#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringRef>

#include <cstring>

class QIODevice;

// UTF-8 on its way to a file or standard output, handed on in pieces of
// about 256 KiB so that no export holds more than that of its output. Without
// a device it keeps everything (for a page or document asked for whole).
class OutputSink
{
public:
    explicit OutputSink(QIODevice* device = nullptr);

    // Inline with its length taken here, so that a literal's is known when compiled.
    OutputSink& operator<<(const char* ascii) { return ascii ? append(ascii, std::strlen(ascii)) : *this; }
    OutputSink& operator<<(QLatin1String ascii) { return append(ascii.data(), static_cast<size_t>(ascii.size())); }
    OutputSink& operator<<(char c)
    {
        if (cursor == limit)
            grow(1);
        *cursor++ = c;
        return *this;
    }
    OutputSink& operator<<(const QString& text) { appendUtf8(text.constData(), text.size(), plain); return *this; }
    OutputSink& operator<<(const QStringRef& text) { appendUtf8(text.constData(), text.size(), plain); return *this; }
    OutputSink& number(qint64 value);
    // value as a JSON number the way Qt writes one (beyond 2^53 through a double).
    OutputSink& jsonNumber(qint64 value);
    // Text made safe for element content and quoted attribute values.
    OutputSink& html(const QString& text) { appendUtf8(text.constData(), text.size(), Html); return *this; }
    // A JSON string with its quotes.
    OutputSink& json(const QString& text);

    // From now on text appended with << has its control characters but
    // newline and tab, and the bidirectional overrides and isolates,
    // replaced by U+FFFD: text read on a terminal must not be able to move
    // the cursor, retitle the window or reorder a line.
    void replaceControls() { plain = Terminal; }
    // text with those characters replaced.
    static QString withoutControls(const QString& text);

    // Passes what has gathered to the device once it is large enough.
    bool maybeFlush() { return size() < flushSize || flush(); }
    bool flush();
    bool failed() const { return !ok; }
    // What was gathered, for a sink without device; valid until the next
    // append.
    QByteArray& data();

private:
    enum Escape { Plain, Html, Json, Terminal };
    void appendUtf8(const QChar* text, int units, Escape escape);
    // Appends are copies into room made ahead, not calls into QByteArray.
    OutputSink& append(const char* text, size_t length)
    {
        if (static_cast<size_t>(limit - cursor) < length)
            grow(length);
        std::memcpy(cursor, text, length);
        cursor += length;
        return *this;
    }
    // Makes room for at least length more bytes.
    void grow(size_t length);
    int size() const { return static_cast<int>(cursor - bytes.constData()); }

    static constexpr int flushSize = 256 * 1024;
    QIODevice* device;
    QByteArray bytes; // all of it room; what was written ends at cursor
    char* cursor = nullptr;
    char* limit = nullptr;
    bool ok = true;
    Escape plain = Plain;
};
