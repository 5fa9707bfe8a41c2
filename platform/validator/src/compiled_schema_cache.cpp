#include "compiled_schema_cache.h"

#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>

#include "tarn/json/json_text.h"

namespace TarnValidator {

namespace {

// A compilation of the caller's own document, for schemas that cannot be kept.
class BorrowedCompilation : public SchemaCompilation {
public:
    explicit BorrowedCompilation(const rapidjson::Value& schema) : compiled_(schema) {}
    const CompiledSchema& compiled() const override { return compiled_; }

private:
    CompiledSchema compiled_;
};

// A compilation of a parsed copy of the schema's text, which it owns.
class OwnedCompilation : public SchemaCompilation {
public:
    OwnedCompilation(std::string text, size_t hash, rapidjson::Document document)
        : text_(std::move(text)),
          hash_(hash),
          document_(std::move(document)),
          compiled_(document_) {}
    const CompiledSchema& compiled() const override { return compiled_; }

    bool Matches(const std::string& text, size_t hash) const {
        return hash_ == hash && text_ == text;
    }
    size_t TextSize() const { return text_.size(); }

private:
    std::string text_;
    size_t hash_;
    rapidjson::Document document_;
    CompiledSchema compiled_;
};

struct Cache {
    std::mutex mutex;
    std::list<std::shared_ptr<const OwnedCompilation>> entries;  // most recently used first
    size_t textBytes = 0;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

// Compact text of the schema, written without the UTF-8 check: equal text, equal schema.
std::string SchemaText(const rapidjson::Value& schema) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    schema.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::shared_ptr<const OwnedCompilation> Find(Cache& cache, const std::string& text, size_t hash) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
        if ((*it)->Matches(text, hash)) {
            cache.entries.splice(cache.entries.begin(), cache.entries, it);
            return *it;
        }
    }
    return nullptr;
}

void Keep(Cache& cache, std::shared_ptr<const OwnedCompilation> entry) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.textBytes += entry->TextSize();
    cache.entries.push_front(std::move(entry));
    while (cache.entries.size() > kMaxCachedSchemas || cache.textBytes > kMaxCachedSchemaBytes) {
        cache.textBytes -= cache.entries.back()->TextSize();
        cache.entries.pop_back();
    }
}

}  // namespace

std::shared_ptr<const SchemaCompilation> AcquireCompiledSchema(const rapidjson::Value& schema) {
    Cache& cache = TheCache();
    std::string text = SchemaText(schema);
    const size_t hash = std::hash<std::string>()(text);
    if (auto found = Find(cache, text, hash)) {
        return found;
    }
    rapidjson::Document copy;
    if (text.size() > kMaxCachedSchemaBytes || !TarnConfigStore::ParseJsonText(text, copy)) {
        return std::make_shared<BorrowedCompilation>(schema);
    }
    auto entry = std::make_shared<const OwnedCompilation>(std::move(text), hash, std::move(copy));
    if (!entry->compiled().HasUnresolvedReference()) {
        Keep(cache, entry);
    }
    return entry;
}

}  // namespace TarnValidator
