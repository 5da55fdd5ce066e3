#include "loader/TrackingDates.h"

#include "shared/text/TextCodec.h"

#include <cstddef>
#include <cstdint>

// The date reader of tracking lines over arbitrary text, under both short date formats. It never
// fails: every text gives a date, nothing or the unreadable-date marker.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = decodeServerText(bytes).text;
    (void)ParseTrackingDate(text, QStringLiteral("dd/MM/yyyy"));
    (void)ParseTrackingDate(text, QStringLiteral("MM/dd/yyyy"));
    (void)convertShortDateText(text, QStringLiteral("dd/MM/yyyy"), 2026);
    return 0;
}
