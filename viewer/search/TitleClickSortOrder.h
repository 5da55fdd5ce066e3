#pragma once

#include <QString>

#include <optional>

// The sort order after a click on a grid column title, or nothing when the title does not sort.
// Titles compare without regard to case, sort orders exactly.
std::optional<QString> sortOrderAfterTitleClick(const QString &title, const QString &sortOrder);
