// KeptPool: a pool for the values of a document that an operation builds and drops on every
// call (a plugin's result, a working copy, a cache), whose first block the calling thread
// keeps from one use to the next. Such documents otherwise take fresh heap chunks each call,
// which the C library hands back to the system when they are freed, so that every call pays
// again for mapping those pages. A thread keeps a few blocks, each at most kMaxKeptBlock
// bytes; a document that outgrows its block takes heap chunks beyond it as a plain pool does,
// and the block grows to fit for the next use. One thread per object; not copyable.
#pragma once

#include <cstddef>
#include <optional>

#include "tarn/export.h"
#include "tarn/json/json.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

struct KeptBlock;  // one of a thread's kept blocks

class KeptPool {
public:
    // Largest block a thread keeps for one pool.
    static constexpr size_t kMaxKeptBlock = 1024 * 1024;

    // Takes one of the thread's free blocks; with none left (several pools alive at once),
    // a plain pool.
    KeptPool();
    // Gives the block back: every value made in the pool must be gone by then.
    ~KeptPool();
    KeptPool(const KeptPool&) = delete;
    KeptPool& operator=(const KeptPool&) = delete;

    rapidjson::MemoryPoolAllocator<>& Get() { return *pool_; }

private:
    KeptBlock* kept_ = nullptr;
    std::optional<rapidjson::MemoryPoolAllocator<>> pool_;
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
