// The per-host view of a multi-host configuration document: a "profile" shared by every host
// plus "host-specific" and "host-override" sections keyed by BIOS UUID, reduced to what
// applies to one host (rules and an example in docs/host-documents.md). The provider reads a
// document schema the caller owns and keeps alive; documents are not shared. Reentrant.
#pragma once

#include <string>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace ConfigStoreDocument {

// What the merge needs to know about keys, read from a document schema as the schema store's
// GenerateSchemaDocument composes it: levels under "properties"; a multi-instance key is an
// array schema whose "instanceId" names the property that identifies an instance.
class SchemaMergeMetadataProvider {
public:
    // schemaDocument must outlive the provider; anything other than such a schema reads as
    // a schema that lists no key.
    explicit SchemaMergeMetadataProvider(const rapidjson::Value& schemaDocument);

    // The key's schema; null when the document schema does not list the key.
    const rapidjson::Value& GetKeySchema(const std::string& component, const std::string& group,
                                         const std::string& key) const;
    // True when the key holds an array of instances.
    bool IsMultiInstance(const std::string& component, const std::string& group,
                         const std::string& key) const;
    // The property that identifies an instance ("cs_generated_id": the instance's content);
    // empty for keys that are not multi-instance.
    std::string GetInstanceKey(const std::string& component, const std::string& group,
                               const std::string& key) const;

private:
    const rapidjson::Value& schema_;
};

// True when a host section's name designates the host hostId: equal ignoring ASCII case.
bool HostIdMatches(const std::string& sectionName, const std::string& hostId);

// Reduces document, in place, to the view of host hostId: its "profile" becomes the profile
// with this host's "host-specific" sections added and its "host-override" sections applied;
// both section members are removed, other members are kept. A document without "profile"
// is one configuration for every host and stays as it is. Throws
// TarnConfigStore::ConfigStoreException 2000 naming the place when the document, the profile,
// a section of this host or one of their levels is not an object; document is then unchanged.
void GetDocumentForHost(rapidjson::Document& document, const std::string& hostId,
                        const SchemaMergeMetadataProvider& provider);

}  // namespace ConfigStoreDocument

namespace ConfigStoreDocument {

// Reorganises an exported document, in place, for host hostUuid and the document schema
// schema (as GenerateSchemaDocument composes it): this host's "host-specific" and
// "host-override" sections are folded into "profile" and other hosts' sections dropped, so
// that GetDocumentForHost of the same host gives back the same "profile". A document without
// "profile" gets an empty one. Errors as GetDocumentForHost.
void SplitDocument(const rapidjson::Value& schema, const std::string& hostUuid,
                   rapidjson::Document& document);

}  // namespace ConfigStoreDocument

TARN_PUBLIC_END
