#include "shared/config/ConnectionString.h"
#include "shared/db/DbError.h"
#include "shared/text/TextCodec.h"

#include <cstddef>
#include <cstdint>

// The connection-string mapping over arbitrary text. Data-link references are left out: they
// would make the fuzzer read whatever file the input names.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = decodeServerText(bytes).text;
    if (parseInitString(text).contains(QStringLiteral("file name")))
        return 0;
    try {
        (void)resolveConnectionString(text, QStringLiteral("/opt/ovtrack/"), QStringLiteral("SQLNCLI.1"));
    } catch (const DbError &) {
    }
    return 0;
}
