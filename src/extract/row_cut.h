// Where the rows of one extraction are cut in two for converting them on two threads
// (row_halves.h). Private to src/extract; reentrant.
#pragma once

#include <vector>

#include "tarn/configstore/store_rows.h"

namespace TarnConfigManager {

// Below this many rows a second thread costs more than it saves.
inline constexpr size_t kRowsForSecondThread = 2048;

// Where a list of rows is cut: rows from `at` on go to the worker. at == rows.size() when the
// rows are not worth a second thread, or cannot be cut so that the halves join.
struct RowCut {
    size_t at;
    size_t secondHalfBytes;  // the value texts of the rows from `at` on
};

// Cuts rows where about half of their value text lies on either side, at the start of a run of
// rows of one key. A key whose rows lie on both sides is allowed only when every row of it
// names an instance: its instances are then appended to the array the first half made.
RowCut CutRows(const std::vector<TarnConfigStore::StoreRow>& rows);

}  // namespace TarnConfigManager
