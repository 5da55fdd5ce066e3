#pragma once

#include <QString>

// A cell as a spreadsheet should show it. Names and tests come from outside files, and a cell that
// begins like a formula (=, +, -, @, a tab or a carriage return) would be evaluated: such a cell gets
// a leading apostrophe, which the spreadsheet takes as "this is text" and does not show.
// Used by every CSV and by the grid's copied text.
QString spreadsheetText(const QString &cell);
