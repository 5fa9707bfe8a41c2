// Where the rows of a table are cut in two for converting them on two threads (row_halves.h).
// Private to src/extract; reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"

namespace TarnConfigManager {

// Below this many rows a second thread costs more than it saves.
inline constexpr int64_t kRowsForSecondThread = 2048;

// Rows at positions from `at` to `end` go to the worker; none when at == end.
struct RowPositionCut {
    int64_t at = 0;
    int64_t end = 0;
    size_t textBytes = 0;  // at most what the worker's rows hold
};

// The middle of the table's row positions, when the table holds enough rows and connection
// is not inside a transaction (whose changes a second connection would not see).
RowPositionCut CutRowPositions(const std::shared_ptr<DBStore::StoreConnection>& connection,
                               TarnConfigStore::RowTable table);

}  // namespace TarnConfigManager
