// A rapidjson document (and reader) whose working stack comes from a pool over a buffer the
// caller keeps on its own stack frame. Building a value through a plain Document takes a heap
// block for that stack and frees it again, which for thousands of small values costs more
// than the values. Private to the JSON library; one thread per object.
#pragma once

#include <cstddef>

#include "tarn/json/json.h"

namespace TarnConfigStore {

using StackPool = rapidjson::MemoryPoolAllocator<>;
using PooledReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, StackPool>;
// Values go to the allocator given to the document; only its stack uses the StackPool.
using PooledDocument =
    rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<>, StackPool>;

// The document's first stack, as rapidjson sizes it: 64 values.
constexpr size_t kDocumentStackCapacity = 1024;
// A buffer of this size holds the stacks for values of a few hundred members.
constexpr size_t kStackBufferSize = 4096;

}  // namespace TarnConfigStore
