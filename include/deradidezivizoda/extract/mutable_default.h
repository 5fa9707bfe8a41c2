// Keys with a mutable default configuration: a user configuration equal to the default is
// left out of user documents, and such a key without configuration (its default deleted) is
// an error. Reentrant; the rows belong to the caller.
#pragma once

#include <memory>

#include "deradidezivizoda/export.h"
#include "deradidezivizoda/extract/extraction_types.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

// Takes the rows of every mutable-default key (SmartNIC keys when smartnic is set) out of
// rows and appends them back, reserved instances removed, only when they differ from the
// key's default rows. ConfigManagerException 2027 with the key's text when a key has no row
// or only reserved instances; rows is then incomplete.
TARN_EXPORT void ProcessMutableDefaultConfig(RowList& rows,
                                             std::shared_ptr<DBStore::StoreConnection> connection,
                                             std::shared_ptr<TarnSchemaStore::SchemaStore> store,
                                             bool smartnic);

// The same for the host's keys over rows read as plain records followed by more rows (an
// extract plugin's): the records of mutable-default keys leave rows, and those kept are
// appended to more (as row maps). Library-internal.
void ProcessMutableDefaultConfig(std::vector<TarnConfigStore::StoreRow>& rows, RowList& more,
                                 const std::shared_ptr<DBStore::StoreConnection>& connection,
                                 const std::shared_ptr<TarnSchemaStore::SchemaStore>& store);

// ConfigManagerException 2027 naming (joined by ",") every host mutable-default key without a
// row in rows.
TARN_EXPORT void ProcessMutableDefaultDeletes(
    const RowList& rows, const std::shared_ptr<TarnSchemaStore::SchemaStore>& store);

// The same over the current rows of the store that no extract plugin replaces, followed by the
// plugins' rows. Library-internal.
void ProcessMutableDefaultDeletes(const std::shared_ptr<DBStore::StoreConnection>& connection,
                                  const ExtractionData& plugins,
                                  const std::shared_ptr<TarnSchemaStore::SchemaStore>& store);

// Whether the key has a mutable default and its current user rows equal its default rows:
// user documents leave such a key out, and a desired document without it asks for nothing.
TARN_EXPORT bool IsAtMutableDefault(const TarnSchemaStore::SchemaObjectId& id,
                                    const std::shared_ptr<TarnSchemaStore::SchemaObject>& schema,
                                    const std::shared_ptr<DBStore::StoreConnection>& connection);

}  // namespace TarnConfigManager
