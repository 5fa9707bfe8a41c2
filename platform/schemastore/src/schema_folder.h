// Reading the schema folder: listing it with what identifies each file's current contents
// (so an unchanged folder is recognised without reading it) and loading it into a
// SchemaCache. Stateless; any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarn/schemastore/folder_watch.h"
#include "tarn/schemastore/schema_cache.h"

namespace TarnSchemaStore {

// One entry of the folder: a sub-folder or a ".json" file, with the status fields that
// change whenever it is written, replaced or renamed.
struct SchemaFileStamp {
    std::string path;
    bool isFolder = false;
    int depth = 0;  // 1 for entries of the folder itself; key files sit at depth 3
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const SchemaFileStamp& other) const;
};

struct SchemaFolderListing {
    bool available = false;
    std::string failure;                    // why the folder cannot be listed
    std::vector<SchemaFileStamp> stamps;    // sorted by path
    std::vector<SchemaLoadError> problems;  // sub-folders that could not be listed
};

// Lists the folder; when watch is given, each folder is added to it before it is read.
SchemaFolderListing ListSchemaFolder(const std::string& folder, FolderWatch* watch);

// Loads every key file of the listing. A file that cannot be read, parsed or accepted is
// skipped: it is logged at priority 0 and kept among the cache's load errors.
std::shared_ptr<const SchemaCache> LoadSchemaFolder(const SchemaFolderListing& listing);

}  // namespace TarnSchemaStore
