#include "shared/config/SettingsFile.h"
#include "shared/text/TextCodec.h"

#include <cstddef>
#include <cstdint>

// Both settings parsers over arbitrary bytes, as they would come from a settings.txt.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList lines = splitTextLines(decodeServerText(bytes).text);
    LoaderSettings loader;
    applyLoaderSettingsLines(loader, lines, [](int, const QString &) {});
    (void)completeConnectionString(loader.connectionString);
    (void)parseViewerSettings(lines);
    return 0;
}
