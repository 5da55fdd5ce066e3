#pragma once

class DbConnection;

// Indexes Tracking on the columns the loader's start-up indexes, through the dialect, and
// analyses it, as a site's table of that size would be.
void indexAndAnalyzeTracking(DbConnection &db);
