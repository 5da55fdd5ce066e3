#pragma once

#include <QString>

#include <optional>

// The sort order after a click on a grid column title, or nothing when the title does not sort.
// Titles compare without regard to case, sort orders exactly.
std::optional<QString> sortOrderAfterTitleClick(const QString &title, const QString &sortOrder);

// Whether `sortOrder` is one the window sets itself: the initial order, one a title click gives, or
// the practice order. A saved order is pasted into ORDER BY, so no other text may be restored.
bool isWindowSortOrder(const QString &sortOrder);
