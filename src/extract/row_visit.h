// Visits over a table of the store for ConsumeVisitedRows, skipping the rows of keys that fail a
// test. Private to src/extract; a visit may run on any thread with that thread's connection.
#pragma once

#include <functional>

#include "deradidezivizoda/extract/config_map_list.h"
#include "row_columns.h"

namespace TarnConfigManager {

// The rows of table whose key passes (every row without a test), in order. passes is asked
// once per run of rows of one key, from the thread that visits, so it must only read.
StoreRowVisit VisitRows(TarnConfigStore::RowTable table,
                        std::function<bool(const RowNames&)> passes = nullptr);

}  // namespace TarnConfigManager
