// JsonDoc: a handle that owns a JSON document together with the memory pool the document
// allocates from (the pool is shared between the handle and whoever else keeps it), plus a
// path of segments naming a sub-object of the document (empty: the document itself).
// One thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class JsonDoc {
public:
    using Allocator = rapidjson::MemoryPoolAllocator<>;
    // The JSON library's own chunk size (which it keeps private).
    static constexpr size_t kDefaultChunkCapacity = 64 * 1024;

    // One step down the document: into member name; when keyName is set the member is an
    // array and the step continues into its element whose keyName member is keyValue.
    struct PathSegment {
        std::string name;
        std::string keyName;
        std::string keyValue;
    };

    // A null document on a new pool whose chunks hold chunkCapacity bytes.
    explicit JsonDoc(size_t chunkCapacity = kDefaultChunkCapacity);
    // A null document allocating from pool.
    explicit JsonDoc(std::shared_ptr<Allocator> pool);
    JsonDoc(const JsonDoc&) = delete;
    JsonDoc& operator=(const JsonDoc&) = delete;

    rapidjson::Document& GetDocument() { return document_; }
    const rapidjson::Document& GetDocument() const { return document_; }
    Allocator& GetAllocator() { return *pool_; }
    const std::shared_ptr<Allocator>& GetPool() const { return pool_; }

    const std::vector<PathSegment>& GetPath() const { return path_; }
    void SetPath(std::vector<PathSegment> path) { path_ = std::move(path); }
    void AppendPath(PathSegment segment) { path_.push_back(std::move(segment)); }

    // The value the path names. Defined by the library that walks documents, not here.
    rapidjson::Value* GetJsonValuePtr();

private:
    std::shared_ptr<Allocator> pool_;  // declared first: outlives the document
    rapidjson::Document document_;
    std::vector<PathSegment> path_;
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
