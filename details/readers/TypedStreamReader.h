// Decoder of a typedstream (the archive format of NSArchiver) into a flat
// object table: each object is its class and the values it wrote, in order.
// It knows no class: a caller reads an NSString as the bytes it wrote, an
// NSDictionary as its count and then key, value, key, value and so on.
// Bounded: the input's size, the objects, the values and the nesting are
// capped, and a malformed stream is refused as a whole.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class TypedStreamReader
{
public:
    struct Value
    {
        enum class Kind : quint8 { Nil, Integer, Real, Bytes, Object };
        Kind kind = Kind::Nil;
        qint64 integer = 0;
        double real = 0;
        QByteArray bytes; // "+" data, "*" and ":" strings
        int object = -1;  // index into objects()
    };
    struct Object
    {
        int classIndex = -1; // into classes()
        std::vector<Value> values;
    };
    struct Class
    {
        QByteArray name;
        int superclass = -1;
    };

    static constexpr int maxInput = 1 << 20;
    static constexpr int maxObjects = 1 << 14;
    static constexpr int maxValues = 1 << 17;
    static constexpr int maxDepth = 48;

    // False for anything but a whole, well-formed stream within the bounds.
    bool read(const QByteArray& blob);

    const std::vector<Object>& objects() const { return objectList; }
    const std::vector<Class>& classes() const { return classList; }
    // The first object of the stream; -1 when it holds none.
    int root() const { return rootObject; }

    // Whether object's class, or one it derives from, is named name.
    bool isKindOf(int object, const char* name) const;
    // The text an NSString (or a subclass) wrote; a null string otherwise.
    QString string(int object) const;
    // The value an NSNumber wrote; false for anything else.
    bool number(int object, qint64* value) const;

private:
    enum class Entry : quint8 { Class, Object, CString };
    struct Shared
    {
        Entry kind;
        int index; // into classList, objectList or strings
    };

    bool fail() { failed = true; return false; }
    bool byte(quint8* out);
    bool integerFrom(quint8 head, qint64* out);
    bool integer(qint64* out);
    bool unsharedBytes(QByteArray* out);
    bool sharedString(int* index); // -1 for nil
    bool readHead(Entry kind, int depth, int* index, bool* isNew);
    bool readClass(int* index, int depth);
    bool readObject(int* index, int depth);
    bool readCString(QByteArray* out);
    bool readGroup(std::vector<Value>* values, int depth);
    bool readValue(const QByteArray& types, int* at, std::vector<Value>* values, int depth);

    const char* data = nullptr;
    int size = 0;
    int position = 0;
    bool failed = false;
    int valueCount = 0;
    int rootObject = -1;
    std::vector<QByteArray> strings;
    std::vector<Shared> shared;
    std::vector<Class> classList;
    std::vector<Object> objectList;
};
