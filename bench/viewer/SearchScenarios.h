#pragma once

#include "viewer/search/SearchCriteria.h"

#include <functional>
#include <vector>

// The four searches the viewer benchmarks time on every backend.
struct SearchScenario
{
    const char *name;
    std::function<void(SearchCriteria &)> tick;
};

inline std::vector<SearchScenario> searchScenarios()
{
    return {
        {"patient prefix",
         [](SearchCriteria &c) { c.nameFilterChecked = true, c.nameFilterText = "smith1"; }},
        {"practice", [](SearchCriteria &c) { c.mailboxChecked = true, c.mailboxText = "P1042"; }},
        {"status Undeliverable", [](SearchCriteria &c) { c.statusIndex = 2; }},
        {"date range (7 days)",
         [](SearchCriteria &c) {
             c.fromDateChecked = c.toDateChecked = true;
             c.fromDate = QDate(2024, 3, 1), c.toDate = QDate(2024, 3, 8);
         }},
    };
}
