#include "tarn/configstore/json_doc.h"

namespace TarnConfigStore {

namespace {

std::shared_ptr<JsonDoc::Allocator> OrNewPool(std::shared_ptr<JsonDoc::Allocator> pool) {
    return pool ? pool : std::make_shared<JsonDoc::Allocator>();
}

}  // namespace

JsonDoc::JsonDoc(size_t chunkCapacity) : JsonDoc(std::make_shared<Allocator>(chunkCapacity)) {}

JsonDoc::JsonDoc(std::shared_ptr<Allocator> pool)
    : pool_(OrNewPool(std::move(pool))), document_(pool_.get()) {}

}  // namespace TarnConfigStore
