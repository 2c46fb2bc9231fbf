// The import's scan under the progress window, and the summary shown after it.
#pragma once

#include "core/import/scanner.h"
#include "core/store/searchstore.h"

class QWidget;

namespace vorlane {

// Scans `params` into the catalog file `catalog` with a connection of its own, under the
// progress window; returns once the window has closed. A catalog that cannot be opened a
// second time for writing is reported in the result's error; nothing is scanned then.
// `written` receives what the scan wrote, for the search index.
ScanResult runScan(const QString& catalog, const ScanParams& params, QWidget* parent,
                   searchstore::WriteReport* written = nullptr);

// The summary shown when the scan is over: the counts, then what went wrong, if anything.
QString scanSummaryText(const ScanResult& r);

} // namespace vorlane
