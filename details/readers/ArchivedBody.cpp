#include "ArchivedBody.h"

#include "TypedStreamReader.h"

#include <algorithm>
#include <cstring>

namespace {

using Value = TypedStreamReader::Value;

bool isObject(const Value& value)
{
    return value.kind == Value::Kind::Object && value.object >= 0;
}

// The text an object stands for: an NSString's, or the first one found in
// what it wrote (an NSURL writes its string as an object of its own).
QString textIn(const TypedStreamReader& reader, int object, int depth = 0)
{
    if (object < 0 || depth > 4)
        return QString();
    if (reader.isKindOf(object, "NSString"))
        return reader.string(object);
    for (const Value& value : reader.objects()[static_cast<size_t>(object)].values) {
        if (isObject(value)) {
            const QString text = textIn(reader, value.object, depth + 1);
            if (!text.isEmpty())
                return text;
        }
    }
    return QString();
}

// One attribute dictionary (count, then key and value objects) applied to run.
void applyAttributes(const TypedStreamReader& reader, int dictionary, MsgTextRun* run, QString* transcription)
{
    if (!reader.isKindOf(dictionary, "NSDictionary"))
        return;
    const std::vector<Value>& values = reader.objects()[static_cast<size_t>(dictionary)].values;
    for (size_t i = 1; i + 1 < values.size(); i += 2) {
        if (!isObject(values[i]))
            continue;
        const QString key = reader.string(values[i].object);
        const int object = isObject(values[i + 1]) ? values[i + 1].object : -1;
        qint64 number = 0;
        const bool isNumber = reader.number(object, &number);
        if (key == QLatin1String("__kIMMessagePartAttributeName")) {
            if (isNumber && number >= 0 && number <= 0x7FFFFFFF)
                run->part = static_cast<int>(number);
        } else if (key == QLatin1String("__kIMTextBoldAttributeName")) {
            run->bold = isNumber && number != 0;
        } else if (key == QLatin1String("__kIMTextItalicAttributeName")) {
            run->italic = isNumber && number != 0;
        } else if (key == QLatin1String("__kIMTextUnderlineAttributeName")) {
            run->underline = isNumber && number != 0;
        } else if (key == QLatin1String("__kIMTextStrikethroughAttributeName")) {
            run->strikethrough = isNumber && number != 0;
        } else if (key == QLatin1String("__kIMTextEffectAttributeName")) {
            if (isNumber)
                run->effect = ArchivedBody::effectName(number);
        } else if (key == QLatin1String("__kIMMentionConfirmedMention")) {
            run->mention = textIn(reader, object);
        } else if (key == QLatin1String("__kIMLinkAttributeName")) {
            run->link = textIn(reader, object);
        } else if (key == QLatin1String("__kIMFileTransferGUIDAttributeName")) {
            run->attachmentGuid = textIn(reader, object);
        } else if (key == QLatin1String("IMAudioTranscription") && transcription->isEmpty()) {
            *transcription = textIn(reader, object);
        }
    }
}

} // namespace

QString ArchivedBody::effectName(qint64 value)
{
    // The values iOS 18 writes for each animated text effect.
    switch (value) {
    case 4: return QStringLiteral("ripple");
    case 5: return QStringLiteral("big");
    case 6: return QStringLiteral("bloom");
    case 8: return QStringLiteral("nod");
    case 9: return QStringLiteral("shake");
    case 10: return QStringLiteral("jitter");
    case 11: return QStringLiteral("small");
    case 12: return QStringLiteral("explode");
    default: return QString();
    }
}

bool ArchivedBody::mayBeStyled(const char* blob, int size)
{
    // Every attribute looked for is named "...IM" and one of these; a plain
    // body names only others (message part, writing direction, file
    // transfer). Each 'M' is found by memchr, which a million bodies notice
    // far less than a search per name.
    static const char* const tails[] = {"Text", "Mention", "Link", "AudioTranscription"};
    if (!blob || size <= 0)
        return false;
    const char* const end = blob + size;
    for (const char* at = blob + 1; at < end;) {
        const char* m = static_cast<const char*>(std::memchr(at, 'M', static_cast<size_t>(end - at)));
        if (!m)
            return false;
        if (m[-1] == 'I') {
            for (const char* tail : tails) {
                const size_t length = std::strlen(tail);
                if (static_cast<size_t>(end - m - 1) >= length && std::memcmp(m + 1, tail, length) == 0)
                    return true;
            }
        }
        at = m + 1;
    }
    return false;
}

bool ArchivedBody::parse(const QByteArray& blob, ArchivedBody* body)
{
    *body = ArchivedBody();
    TypedStreamReader reader;
    if (!reader.read(blob))
        return false;
    const int root = reader.root();
    if (!reader.isKindOf(root, "NSAttributedString") && !reader.isKindOf(root, "NSMutableAttributedString"))
        return false;
    const std::vector<Value>& values = reader.objects()[static_cast<size_t>(root)].values;
    if (values.empty() || !isObject(values[0]) || !reader.isKindOf(values[0].object, "NSString"))
        return false;
    body->text = reader.string(values[0].object);

    // Then runs: an attribute index and a length (UTF-16 units), and the
    // index's dictionary the first time it is used.
    std::vector<int> dictionaries;
    int start = 0;
    for (size_t i = 1; i + 1 < values.size() && start < body->text.size();) {
        if (values[i].kind != Value::Kind::Integer || values[i + 1].kind != Value::Kind::Integer)
            return false;
        const qint64 index = values[i].integer;
        const qint64 length = values[i + 1].integer;
        i += 2;
        if (index < 1 || length <= 0)
            return false;
        if (i < values.size() && isObject(values[i]) && index == static_cast<qint64>(dictionaries.size()) + 1) {
            dictionaries.push_back(values[i].object);
            ++i;
        }
        if (index > static_cast<qint64>(dictionaries.size()))
            return false;
        MsgTextRun run;
        run.start = start;
        run.length = static_cast<int>(std::min<qint64>(length, body->text.size() - start));
        applyAttributes(reader, dictionaries[static_cast<size_t>(index - 1)], &run, &body->transcription);
        start += run.length;
        body->runs.append(run);
    }
    return true;
}
