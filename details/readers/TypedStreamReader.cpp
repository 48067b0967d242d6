#include "TypedStreamReader.h"

#include <cstring>

namespace {

// The stream's tags: a value that is not a plain number starts with one.
constexpr quint8 tagInt16 = 0x81;
constexpr quint8 tagInt32 = 0x82;
constexpr quint8 tagReal = 0x83;
constexpr quint8 tagNew = 0x84;
constexpr quint8 tagNil = 0x85;
constexpr quint8 tagEnd = 0x86;
// References are numbers from -110 (the byte 0x92) up, each the position of
// its target in the table of its kind.
constexpr qint64 firstReference = -110;

} // namespace

bool TypedStreamReader::byte(quint8* out)
{
    if (position >= size)
        return fail();
    *out = static_cast<quint8>(data[position++]);
    return true;
}

bool TypedStreamReader::integerFrom(quint8 head, qint64* out)
{
    if (head == tagInt16 || head == tagInt32) {
        const int bytes = head == tagInt16 ? 2 : 4;
        if (size - position < bytes)
            return fail();
        quint32 value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<quint32>(static_cast<quint8>(data[position + i])) << (8 * i);
        position += bytes;
        *out = bytes == 2 ? static_cast<qint64>(static_cast<qint16>(value)) : static_cast<qint64>(static_cast<qint32>(value));
        return true;
    }
    *out = static_cast<qint8>(head);
    return true;
}

bool TypedStreamReader::integer(qint64* out)
{
    quint8 head = 0;
    return byte(&head) && integerFrom(head, out);
}

bool TypedStreamReader::unsharedBytes(QByteArray* out)
{
    qint64 length = 0;
    if (!integer(&length) || length < 0 || length > size - position)
        return fail();
    *out = QByteArray(data + position, static_cast<int>(length));
    position += static_cast<int>(length);
    return true;
}

bool TypedStreamReader::sharedString(int* index)
{
    quint8 head = 0;
    if (!byte(&head))
        return false;
    if (head == tagNil) {
        *index = -1;
        return true;
    }
    if (head == tagNew) {
        QByteArray text;
        if (!unsharedBytes(&text))
            return false;
        if (strings.size() >= static_cast<size_t>(maxValues))
            return fail();
        strings.push_back(text);
        *index = static_cast<int>(strings.size()) - 1;
        return true;
    }
    qint64 reference = 0;
    if (!integerFrom(head, &reference))
        return false;
    reference -= firstReference;
    if (reference < 0 || reference >= static_cast<qint64>(strings.size()))
        return fail();
    *index = static_cast<int>(reference);
    return true;
}

// The head of a class or an object: nil, a reference to one read before
// (which must be of the kind expected), or the tag of a new one, which the
// caller reads.
bool TypedStreamReader::readHead(Entry kind, int depth, int* index, bool* isNew)
{
    *isNew = false;
    if (depth > maxDepth)
        return fail();
    quint8 head = 0;
    if (!byte(&head))
        return false;
    if (head == tagNil) {
        *index = -1;
        return true;
    }
    if (head == tagNew) {
        *isNew = true;
        return true;
    }
    qint64 reference = 0;
    if (!integerFrom(head, &reference))
        return false;
    reference -= firstReference;
    if (reference < 0 || reference >= static_cast<qint64>(shared.size())
        || shared[static_cast<size_t>(reference)].kind != kind)
        return fail();
    *index = shared[static_cast<size_t>(reference)].index;
    return true;
}

bool TypedStreamReader::readClass(int* index, int depth)
{
    bool isNew = false;
    if (!readHead(Entry::Class, depth, index, &isNew))
        return false;
    if (!isNew)
        return true; // nil, or one read before
    int name = -1;
    qint64 version = 0;
    if (!sharedString(&name) || name < 0 || !integer(&version))
        return fail();
    if (classList.size() >= static_cast<size_t>(maxObjects))
        return fail();
    const int made = static_cast<int>(classList.size());
    classList.push_back(Class{strings[static_cast<size_t>(name)], -1});
    shared.push_back(Shared{Entry::Class, made});
    int superclass = -1;
    if (!readClass(&superclass, depth + 1))
        return false;
    classList[static_cast<size_t>(made)].superclass = superclass;
    *index = made;
    return true;
}

bool TypedStreamReader::readObject(int* index, int depth)
{
    bool isNew = false;
    if (!readHead(Entry::Object, depth, index, &isNew))
        return false;
    if (!isNew)
        return true; // nil, or one read before
    if (objectList.size() >= static_cast<size_t>(maxObjects))
        return fail();
    // The object takes its place in the table before its class and contents,
    // which may refer back to it.
    const int made = static_cast<int>(objectList.size());
    objectList.emplace_back();
    shared.push_back(Shared{Entry::Object, made});
    int classIndex = -1;
    if (!readClass(&classIndex, depth + 1) || classIndex < 0)
        return fail();
    objectList[static_cast<size_t>(made)].classIndex = classIndex;
    std::vector<Value> values;
    for (;;) {
        if (position >= size)
            return fail();
        if (static_cast<quint8>(data[position]) == tagEnd) {
            ++position;
            break;
        }
        if (!readGroup(&values, depth + 1))
            return false;
    }
    objectList[static_cast<size_t>(made)].values = std::move(values);
    *index = made;
    return true;
}

bool TypedStreamReader::readCString(QByteArray* out)
{
    quint8 head = 0;
    if (!byte(&head))
        return false;
    if (head == tagNil) {
        out->clear();
        return true;
    }
    if (head == tagNew) {
        int text = -1;
        if (!sharedString(&text) || text < 0)
            return fail();
        shared.push_back(Shared{Entry::CString, text});
        *out = strings[static_cast<size_t>(text)];
        return true;
    }
    qint64 reference = 0;
    if (!integerFrom(head, &reference))
        return false;
    reference -= firstReference;
    if (reference < 0 || reference >= static_cast<qint64>(shared.size())
        || shared[static_cast<size_t>(reference)].kind != Entry::CString)
        return fail();
    *out = strings[static_cast<size_t>(shared[static_cast<size_t>(reference)].index)];
    return true;
}

bool TypedStreamReader::readValue(const QByteArray& types, int* at, std::vector<Value>* values, int depth)
{
    if (++valueCount > maxValues || depth > maxDepth)
        return fail();
    const char type = types.at((*at)++);
    Value value;
    switch (type) {
    case '@':
        value.kind = Value::Kind::Object;
        if (!readObject(&value.object, depth + 1))
            return false;
        if (value.object < 0)
            value.kind = Value::Kind::Nil;
        break;
    case '#': {
        int classIndex = -1;
        if (!readClass(&classIndex, depth + 1))
            return false;
        value.kind = Value::Kind::Integer;
        value.integer = classIndex;
        break;
    }
    case '+':
        value.kind = Value::Kind::Bytes;
        if (!unsharedBytes(&value.bytes))
            return false;
        break;
    case '*':
        value.kind = Value::Kind::Bytes;
        if (!readCString(&value.bytes))
            return false;
        break;
    case ':':
    case '%': {
        int text = -1;
        if (!sharedString(&text))
            return false;
        value.kind = Value::Kind::Bytes;
        if (text >= 0)
            value.bytes = strings[static_cast<size_t>(text)];
        break;
    }
    case 'c': case 'C': case 's': case 'S': case 'i': case 'I': case 'l': case 'L': case 'q': case 'Q': case 'B':
        value.kind = Value::Kind::Integer;
        if (!integer(&value.integer))
            return false;
        break;
    case 'f':
    case 'd': {
        quint8 head = 0;
        if (!byte(&head))
            return false;
        if (head != tagReal) {
            value.kind = Value::Kind::Integer;
            if (!integerFrom(head, &value.integer))
                return false;
            break;
        }
        value.kind = Value::Kind::Real;
        if (type == 'f') {
            float real = 0;
            if (size - position < 4)
                return fail();
            std::memcpy(&real, data + position, 4);
            position += 4;
            value.real = real;
        } else {
            if (size - position < 8)
                return fail();
            std::memcpy(&value.real, data + position, 8);
            position += 8;
        }
        break;
    }
    case '[': {
        // Only arrays of bytes are written by the classes a body holds.
        int count = 0;
        while (*at < types.size() && types.at(*at) >= '0' && types.at(*at) <= '9' && count < maxInput)
            count = count * 10 + (types.at((*at)++) - '0');
        if (*at + 1 >= types.size() || (types.at(*at) != 'c' && types.at(*at) != 'C') || types.at(*at + 1) != ']'
            || count > size - position)
            return fail();
        *at += 2;
        value.kind = Value::Kind::Bytes;
        value.bytes = QByteArray(data + position, count);
        position += count;
        break;
    }
    default:
        return fail();
    }
    values->push_back(std::move(value));
    return true;
}

bool TypedStreamReader::readGroup(std::vector<Value>* values, int depth)
{
    int types = -1;
    if (!sharedString(&types) || types < 0 || strings[static_cast<size_t>(types)].isEmpty())
        return fail();
    const QByteArray encoding = strings[static_cast<size_t>(types)];
    int at = 0;
    while (at < encoding.size()) {
        if (!readValue(encoding, &at, values, depth))
            return false;
    }
    return true;
}

bool TypedStreamReader::read(const QByteArray& blob)
{
    *this = TypedStreamReader();
    if (blob.size() > maxInput || blob.size() < 16)
        return false;
    data = blob.constData();
    size = blob.size();
    qint64 version = 0;
    QByteArray signature;
    qint64 system = 0;
    if (!integer(&version) || version != 4 || !unsharedBytes(&signature) || signature != "streamtyped"
        || !integer(&system))
        return false;
    std::vector<Value> values;
    while (position < size && !failed) {
        if (!readGroup(&values, 0))
            break;
    }
    data = nullptr;
    if (failed)
        return false;
    for (const Value& value : values) {
        if (value.kind == Value::Kind::Object) {
            rootObject = value.object;
            break;
        }
    }
    return true;
}

bool TypedStreamReader::isKindOf(int object, const char* name) const
{
    if (object < 0 || object >= static_cast<int>(objectList.size()))
        return false;
    int steps = 0;
    for (int c = objectList[static_cast<size_t>(object)].classIndex; c >= 0 && steps <= maxDepth; ++steps) {
        const Class& cls = classList[static_cast<size_t>(c)];
        if (cls.name == name)
            return true;
        c = cls.superclass;
    }
    return false;
}

QString TypedStreamReader::string(int object) const
{
    if (!isKindOf(object, "NSString"))
        return QString();
    for (const Value& value : objectList[static_cast<size_t>(object)].values) {
        if (value.kind == Value::Kind::Bytes)
            return QString::fromUtf8(value.bytes);
    }
    return QString();
}

bool TypedStreamReader::number(int object, qint64* value) const
{
    if (!isKindOf(object, "NSNumber") && !isKindOf(object, "NSValue"))
        return false;
    const std::vector<Value>& values = objectList[static_cast<size_t>(object)].values;
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (it->kind == Value::Kind::Integer) {
            *value = it->integer;
            return true;
        }
        if (it->kind == Value::Kind::Real) {
            if (!(it->real > -9e18 && it->real < 9e18))
                return false;
            *value = static_cast<qint64>(it->real);
            return true;
        }
    }
    return false;
}
