#include "row_cut.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <string>

namespace TarnConfigManager {

namespace {

// The bytes of the database and its journal: more than any part of one table's rows holds.
size_t StoreBytes(const std::string& path) {
    size_t bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        struct stat status {};
        if (stat((path + suffix).c_str(), &status) == 0) {
            bytes += static_cast<size_t>(status.st_size);
        }
    }
    return bytes;
}

}  // namespace

RowPositionCut CutRowPositions(const std::shared_ptr<DBStore::StoreConnection>& connection,
                               TarnConfigStore::RowTable table) {
    if (!connection || !sqlite3_get_autocommit(connection->GetHandle())) {
        return {};
    }
    const TarnConfigStore::RowSpan span =
        TarnConfigStore::GetRowSpan(connection, table, kRowsForSecondThread);
    if (span.count < kRowsForSecondThread) {
        return {};
    }
    const int64_t at = span.first + (span.end - span.first) / 2;
    const double share =
        static_cast<double>(span.end - at) / static_cast<double>(span.end - span.first);
    return RowPositionCut{
        at, span.end,
        static_cast<size_t>(share * static_cast<double>(StoreBytes(connection->GetPath())))};
}

}  // namespace TarnConfigManager
