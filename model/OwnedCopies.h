// Deep copies of owning pointer containers, null entries kept as null.
#pragma once

#include <QList>
#include <QMap>

#include <memory>

template <typename T>
QList<T*> deepCopy(const QList<T*>& source)
{
    QList<T*> copy;
    copy.reserve(source.size());
    try {
        for (const T* item : source)
            copy.append(item ? new T(*item) : nullptr);
    } catch (...) {
        qDeleteAll(copy);
        throw;
    }
    return copy;
}

template <typename K, typename T>
QMap<K, T*> deepCopy(const QMap<K, T*>& source)
{
    QMap<K, T*> copy;
    try {
        for (auto it = source.cbegin(); it != source.cend(); ++it)
            copy.insert(it.key(), it.value() ? new T(*it.value()) : nullptr);
    } catch (...) {
        qDeleteAll(copy);
        throw;
    }
    return copy;
}
