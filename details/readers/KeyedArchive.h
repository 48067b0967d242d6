// A keyed archive (NSKeyedArchiver's binary property list), as iOS stores
// message.payload_data: objects in $objects referring to each other by UID.
// Checked against the property-list limits before libplist parses it.
#pragma once

#include <plist/plist.h>

#include <QByteArray>
#include <QString>

#include <memory>

class KeyedArchive
{
public:
    // An empty archive (valid() false) when the bytes are none.
    explicit KeyedArchive(const QByteArray& blob);

    bool valid() const { return objects != nullptr; }
    uint32_t objectCount() const { return size; }
    plist_t object(uint32_t i) const { return plist_array_get_item(objects, i); }
    // Whether $top, the archive's table of roots, is there, and the object
    // it names under key.
    bool hasTop() const;
    plist_t top(const char* key) const;

    // The object a UID stands for; any other node as it is.
    plist_t resolve(plist_t node) const;
    // A member of an object archived as a dictionary.
    plist_t member(plist_t object, const char* key) const;
    // A member of an archived NSDictionary (keys and values in two arrays of
    // references), or else of an object archived as a plain dictionary.
    plist_t value(plist_t dictionary, const char* key) const;
    // value() as text; an NSURL or an NSString archived as an object of its
    // own gives its string.
    QString text(plist_t dictionary, const char* key) const;
    // The first object whose class is className.
    plist_t objectOfClass(const char* className) const;

    // A string node's text; "$null", the archive's stand-in for nil, is empty.
    static QString textOf(plist_t node);

private:
    struct Free
    {
        void operator()(void* node) const { plist_free(node); }
    };
    std::unique_ptr<void, Free> root;
    plist_t objects = nullptr;
    uint32_t size = 0;
};
