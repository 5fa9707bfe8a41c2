#include "tarn/json/json_copy.h"

#include "pooled_document.h"

namespace TarnConfigStore {

rapidjson::Value CopyJsonValue(const rapidjson::Value& value,
                               rapidjson::MemoryPoolAllocator<>& allocator) {
    if (!value.IsObject() && !value.IsArray()) {
        return rapidjson::Value(value, allocator);  // needs no working stack
    }
    alignas(16) char stackBuffer[kStackBufferSize];
    StackPool stackPool(stackBuffer, sizeof(stackBuffer));
    PooledDocument copy(&allocator, kDocumentStackCapacity, &stackPool);
    auto generate = [&value](PooledDocument& handler) { return value.Accept(handler); };
    copy.Populate(generate);
    rapidjson::Value result;
    result.Swap(copy);
    return result;
}

rapidjson::Document CopyJsonDocument(const rapidjson::Value& value) {
    rapidjson::Document copy;
    static_cast<rapidjson::Value&>(copy) = CopyJsonValue(value, copy.GetAllocator());
    return copy;
}

}  // namespace TarnConfigStore
