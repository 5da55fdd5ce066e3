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
    Rewriter(const QString &text, SqlSyntax syntax, PlaceholderStyle style)
        : m_text(text), m_syntax(syntax), m_style(style)
    {}

    ParameterText run()
    {
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            const QChar next = peek(1);
            if (c == u'\'')
                copyQuoted(u'\'', isEscapeString());
            else if (c == u'"')
                copyQuoted(u'"', false);
            else if (c == u'[' && m_syntax != SqlSyntax::PostgreSql)
                copyQuoted(u']', false);
            else if (c == u'-' && next == u'-')
                copyUntil(QStringLiteral("\n"));
            else if (c == u'/' && next == u'*')
                copyBlockComment();
            else if (c == u'$' && m_syntax == SqlSyntax::PostgreSql && copiedDollarQuote())
                continue;
            else if (c == u':' && next == u':')
                copy(2);
            else if (c == u':' && startsName(next))
                replaceParameter();
            else
                copy(1);
        }
        return std::move(m_result);
    }

private:
    QChar peek(qsizetype ahead) const
    {
        return m_at + ahead < m_text.size() ? m_text.at(m_at + ahead) : QChar();
    }

    void copy(qsizetype count)
    {
        count = std::min(count, m_text.size() - m_at);
        m_result.sql += QStringView(m_text).mid(m_at, count);
        m_at += count;
    }

    // E'…' on PostgreSQL: a backslash escapes the next character, a quote included.
    bool isEscapeString() const
    {
        if (m_syntax != SqlSyntax::PostgreSql || m_at == 0)
            return false;
        const QChar before = m_text.at(m_at - 1);
        return (before == u'E' || before == u'e') && (m_at == 1 || !continuesName(m_text.at(m_at - 2)));
    }

    // From an opening quote to its closing one; a doubled closing character stands for itself.
    void copyQuoted(QChar close, bool backslashEscapes)
    {
        qsizetype end = m_at + 1;
        while (end < m_text.size()) {
            const QChar c = m_text.at(end);
            if (backslashEscapes && c == u'\\') {
                end += 2;
            } else if (c == close) {
                if (end + 1 < m_text.size() && m_text.at(end + 1) == close)
                    end += 2;
                else
                    break;
            } else {
                ++end;
            }
        }
        copy(end + 1 - m_at);
    }

    void copyUntil(const QString &terminator)
    {
        const qsizetype end = m_text.indexOf(terminator, m_at + 2);
        copy(end < 0 ? m_text.size() - m_at : end + terminator.size() - m_at);
    }

    // PostgreSQL nests block comments; the others end one at the first "*/".
    void copyBlockComment()
    {
        if (m_syntax != SqlSyntax::PostgreSql) {
            copyUntil(QStringLiteral("*/"));
            return;
        }
        int depth = 0;
        qsizetype end = m_at;
        while (end < m_text.size()) {
            const QStringView two = QStringView(m_text).mid(end, 2);
            if (two == u"/*") {
                ++depth;
                end += 2;
            } else if (two == u"*/") {
                end += 2;
                if (--depth == 0)
                    break;
            } else {
                ++end;
            }
        }
        copy(end - m_at);
    }

    // $$…$$ or $tag$…$tag$; false when the "$" opens no such quote ($1, a name's "$").
    bool copiedDollarQuote()
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
        copy(end < 0 ? m_text.size() - m_at : end + tag.size() - m_at);
        return true;
    }

    void replaceParameter()
    {
        qsizetype end = m_at + 1;
        while (end < m_text.size() && continuesName(m_text.at(end)))
            ++end;
        const QString name = m_text.mid(m_at + 1, end - m_at - 1);
        qsizetype index = 0;
        while (index < m_result.names.size() && m_result.names.at(index).compare(name, Qt::CaseInsensitive) != 0)
            ++index;
        if (index == m_result.names.size())
            m_result.names.append(name);
        m_result.placeholders.push_back(static_cast<int>(index));
        switch (m_style) {
        case PlaceholderStyle::Numbered:
            m_result.sql += u'?' + QString::number(index + 1);
            break;
        case PlaceholderStyle::Dollar:
            m_result.sql += u'$' + QString::number(m_result.placeholders.size());
            break;
        case PlaceholderStyle::Positional:
            m_result.sql += u'?';
            break;
        }
        m_at = end;
    }

    const QString &m_text;
    SqlSyntax m_syntax;
    PlaceholderStyle m_style;
    qsizetype m_at = 0;
    ParameterText m_result;
};

} // namespace

ParameterText rewriteParameters(const QString &text, SqlSyntax syntax, PlaceholderStyle style)
{
    return Rewriter(text, syntax, style).run();
}
