// Installing key schema files into the host root's schema folder for tests:
// <schema folder>/<component>/<group>/<key>.json, format in docs/schemas.md. Files are replaced
// through a rename, as a package would, so a loaded store always sees the change.
// Test-only; one thread.
#pragma once

#include <string>

namespace TarnTest {

std::string KeySchemaPath(const std::string& component, const std::string& group,
                          const std::string& key);

// Writes fileText (a whole schema file) as the key's schema file.
void InstallKeySchema(const std::string& component, const std::string& group,
                      const std::string& key, const std::string& fileText);

// Writes a schema file with just a definition (JSON text) and the instance facts; an empty
// instanceKey installs a single-instance key.
void InstallKeySchema(const std::string& component, const std::string& group,
                      const std::string& key, const std::string& definition,
                      const std::string& instanceKey);

void RemoveKeySchema(const std::string& component, const std::string& group,
                     const std::string& key);

}  // namespace TarnTest
