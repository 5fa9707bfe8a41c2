#include "tarn/json/json_doc.h"

namespace TarnConfigStore {

namespace {

// Pools take their chunks from this stateless allocator; left to themselves, they would each
// create (and later delete) one of their own on the heap.
rapidjson::CrtAllocator* ChunkSource() {
    static rapidjson::CrtAllocator source;
    return &source;
}

std::shared_ptr<JsonDoc::Allocator> NewPool(size_t chunkCapacity) {
    return std::make_shared<JsonDoc::Allocator>(chunkCapacity, ChunkSource());
}

std::shared_ptr<JsonDoc::Allocator> OrNewPool(std::shared_ptr<JsonDoc::Allocator> pool) {
    return pool ? pool : NewPool(JsonDoc::kDefaultChunkCapacity);
}

}  // namespace

JsonDoc::JsonDoc(size_t chunkCapacity) : JsonDoc(NewPool(chunkCapacity)) {}

JsonDoc::JsonDoc(std::shared_ptr<Allocator> pool)
    : pool_(OrNewPool(std::move(pool))), document_(pool_.get()) {}

}  // namespace TarnConfigStore
