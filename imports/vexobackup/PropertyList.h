// Property lists of a computer backup (Info.plist, Manifest.plist,
// Status.plist and the archived records of Manifest.db), binary or XML,
// read through libplist.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

class PropertyList
{
public:
    using Node = void*; // a libplist node, owned by the list it came from

    // An empty list (isValid() false) when the bytes are no property list.
    static PropertyList fromData(const QByteArray& data);
    enum class FileRead { Done, Missing, TooLarge, Unreadable, Invalid };
    // Files above maxSize are not read.
    static PropertyList fromFile(const QString& path, qint64 maxSize = qint64(16) << 20);
    static PropertyList fromFile(const QString& path, qint64 maxSize, FileRead* outcome);

    PropertyList() = default;
    PropertyList(PropertyList&&) = default;

    bool isValid() const { return root != nullptr; }
    Node top() const { return root.get(); }

    // Lookups give null or empty results for a missing item or a wrong type.
    static Node item(Node dict, const char* key);
    static Node element(Node array, quint64 index);
    static QString string(Node node);
    static QByteArray data(Node node);
    static bool boolean(Node node, bool fallback = false);
    // An invalid date for anything but a date.
    static QDateTime date(Node node);
    static bool integer(Node node, quint64* value);
    static bool uid(Node node, quint64* value);

private:
    std::unique_ptr<void, void (*)(void*)> root{nullptr, nullptr};
};
