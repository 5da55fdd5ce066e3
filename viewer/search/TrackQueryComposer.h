#pragma once

#include "shared/tracking/DbStatement.h"
#include "viewer/search/SearchCriteria.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

class SqlDialect;

struct QueryParameter
{
    QString name;
    ParamType type;
    QVariant value;
};

// The tracking statement, the count statement over the same rows, their parameters and the
// description of the criteria, as one run of RunTrackQuery composes them.
struct ComposedTrackQuery
{
    // One line per criterion that applies, each but the last ending in " and".
    QStringList criterionLines;
    QStringList trackLines; // header, criteria, "order by"
    QStringList countLines; // count header and the same criteria, never ordered
    std::vector<QueryParameter> parameters;
    QString criteriaText;

    bool hasCriteria() const { return !criterionLines.isEmpty(); }
    QString trackText() const { return trackLines.join(QStringLiteral("\r\n")); }
    QString countText() const { return countLines.join(QStringLiteral("\r\n")); }
    void bindTo(DbStatement &statement) const;
};

// Turns the ticked criteria into the search statements. The dialect writes only the sentinel dates.
class TrackQueryComposer
{
public:
    explicit TrackQueryComposer(const SqlDialect &dialect) : m_dialect(dialect) {}

    // `now` decides the end of the range when "To Date" is not ticked.
    ComposedTrackQuery compose(const SearchCriteria &criteria, const QString &sortOrder,
                               const QDateTime &now) const;

    // The condition of a StatusFilter entry, empty for "All" and for none.
    QString statusCondition(int statusIndex) const;

private:
    QString sentinel(QDate date) const;

    const SqlDialect &m_dialect;
};

// The text that starts the criteria description for a StatusFilter entry, empty for "All" and none.
QString statusCriteriaText(int statusIndex);
