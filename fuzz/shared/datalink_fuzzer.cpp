#include "shared/config/DataLinkFile.h"

#include <cstddef>
#include <cstdint>

// The data-link reader over arbitrary bytes: it answers with a string or a DataLinkError.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        (void)parseDataLinkBytes(bytes, QStringLiteral("fuzz.udl"));
    } catch (const DataLinkError &) {
    }
    return 0;
}
