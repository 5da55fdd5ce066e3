#pragma once

#include <QDateTime>
#include <QString>

// "yyyy-MM-dd HH:mm:ss" and, with milliseconds, "yyyy-MM-dd HH:mm:ss.zzz": the sortable text the
// embedded database stores and binds. Written digit by digit, since every imported line binds
// several of these and a format-driven conversion costs many times more.
QString sortableDateTimeText(const QDateTime &value, bool withMilliseconds);
