#include "loader/LogFormat.h"

QString fillLogText(const QString &pattern, std::initializer_list<QString> values)
{
    QString out;
    out.reserve(pattern.size() + 64);
    auto next = values.begin();
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%' && i + 1 < pattern.size() && next != values.end()) {
            const QChar kind = pattern.at(i + 1);
            if (kind == u's' || kind == u'd' || kind == u'u') {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
