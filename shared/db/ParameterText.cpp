#include "shared/db/ParameterText.h"

namespace {

bool startsName(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool continuesName(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

class Rewriter
{
public:
    Rewriter(const QString &text, SqlSyntax syntax) : m_text(text), m_postgres(syntax == SqlSyntax::PostgreSql) {}

    // Calls `parameter(name)` for every ":Name" and `copy(from, to)` for the text between them.
    template <typename Parameter, typename Copy>
    void run(Parameter &&parameter, Copy &&copy)
    {
        qsizetype copied = 0;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at), next = peek(1);
            if (c == u'\'')
                skipQuoted(u'\'', isEscapeString());
            else if (c == u'"' || (c == u'[' && !m_postgres))
                skipQuoted(c == u'"' ? u'"' : u']', false);
            else if (c == u'-' && next == u'-')
                skipTo(QStringLiteral("\n"));
            else if (c == u'/' && next == u'*')
                skipBlockComment();
            else if (c == u'$' && m_postgres && skippedDollarQuote())
                continue;
            else if (c == u':' && next == u':')
                m_at += 2;
            else if (c == u':' && startsName(next)) {
                copy(copied, m_at);
                qsizetype end = m_at + 1;
                while (end < m_text.size() && continuesName(m_text.at(end)))
                    ++end;
                parameter(m_text.mid(m_at + 1, end - m_at - 1));
                copied = m_at = end;
            } else
                ++m_at;
        }
        copy(copied, m_text.size());
    }

private:
    QChar peek(qsizetype ahead) const { return m_at + ahead < m_text.size() ? m_text.at(m_at + ahead) : QChar(); }

    // E'…' on PostgreSQL: a backslash escapes the next character, a quote included.
    bool isEscapeString() const
    {
        if (!m_postgres || m_at == 0 || m_text.at(m_at - 1).toUpper() != u'E')
            return false;
        return m_at == 1 || !continuesName(m_text.at(m_at - 2));
    }

    // From an opening quote past its closing one; a doubled closing character stands for itself.
    void skipQuoted(QChar close, bool backslashEscapes)
    {
        for (++m_at; m_at < m_text.size(); ++m_at) {
            if (backslashEscapes && m_text.at(m_at) == u'\\')
                ++m_at;
            else if (m_text.at(m_at) == close && peek(1) != close)
                break;
            else if (m_text.at(m_at) == close)
                ++m_at;
        }
        ++m_at;
    }

    void skipTo(const QString &terminator)
    {
        const qsizetype end = m_text.indexOf(terminator, m_at + 2);
        m_at = end < 0 ? m_text.size() : end + terminator.size();
    }

    // PostgreSQL nests block comments; the others end one at the first "*/".
    void skipBlockComment()
    {
        if (!m_postgres)
            return skipTo(QStringLiteral("*/"));
        for (int depth = 0; m_at < m_text.size();) {
            const QStringView two = QStringView(m_text).mid(m_at, 2);
            m_at += two == u"/*" || two == u"*/" ? 2 : 1;
            if (two == u"/*")
                ++depth;
            else if (two == u"*/" && --depth == 0)
                return;
        }
    }

    // $$…$$ or $tag$…$tag$; false when the "$" opens no such quote ($1, a name's "$").
    bool skippedDollarQuote()
    {
        if (m_at > 0 && continuesName(m_text.at(m_at - 1)))
            return false;
        qsizetype close = m_at + 1;
        if (close < m_text.size() && startsName(m_text.at(close)))
            while (close < m_text.size() && continuesName(m_text.at(close)))
                ++close;
        if (close >= m_text.size() || m_text.at(close) != u'$')
            return false;
        const QString tag = m_text.mid(m_at, close + 1 - m_at);
        const qsizetype end = m_text.indexOf(tag, close + 1);
        m_at = end < 0 ? m_text.size() : end + tag.size();
        return true;
    }

    const QString &m_text;
    const bool m_postgres;
    qsizetype m_at = 0;
};

} // namespace

ParameterText rewriteParameters(const QString &text, SqlSyntax syntax, PlaceholderStyle style)
{
    ParameterText result;
    Rewriter(text, syntax).run(
        [&](const QString &name) {
            qsizetype index = 0;
            while (index < result.names.size() && result.names.at(index).compare(name, Qt::CaseInsensitive) != 0)
                ++index;
            if (index == result.names.size())
                result.names.append(name);
            result.placeholders.push_back(int(index));
            const int number = style == PlaceholderStyle::Numbered ? int(index) + 1 : int(result.placeholders.size());
            result.sql += style == PlaceholderStyle::Positional ? QStringLiteral("?")
                          : (style == PlaceholderStyle::Dollar ? u'$' : u'?') + QString::number(number);
        },
        [&](qsizetype from, qsizetype to) { result.sql += QStringView(text).mid(from, to - from); });
    return result;
}
