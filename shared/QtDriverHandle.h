#pragma once

#include <QByteArrayView>
#include <QVariant>

#include <initializer_list>

// The native object behind a Qt SQL driver's or result's handle(): null unless the variant holds a
// pointer whose type is named one of `typeNames` (the names differ between Qt versions).
template <typename T>
T *qtDriverHandle(const QVariant &handle, std::initializer_list<const char *> typeNames)
{
    if (!handle.isValid())
        return nullptr;
    const QByteArrayView type(handle.typeName());
    for (const char *name : typeNames) {
        if (type == name)
            return *static_cast<T *const *>(handle.constData());
    }
    return nullptr;
}
