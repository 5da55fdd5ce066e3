#pragma once

#include "viewer/search/TrackRowStore.h"

#include <QByteArrayView>
#include <QStringView>
#include <QVariant>

#include <optional>

class SqlDialect;

// Date-time values of a result as wall-clock milliseconds (TrackRowStore::WallTime), with no
// time-zone work.

// "yyyy-MM-dd", optionally with " HH:mm:ss" and ".zzz": the form SQLite keeps date-times in; nullopt
// for any other text.
std::optional<qint64> canonicalWallMsecs(QStringView text);
std::optional<qint64> canonicalWallMsecs(QByteArrayView utf8);
// A value as the database gave it; nullopt for NULL and for what the dialect cannot read as a date.
TrackRowStore::WallTime wallMsecsOf(const QVariant &value, const SqlDialect &dialect);
