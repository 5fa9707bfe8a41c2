#include "tarn/json/kept_pool.h"

#include <algorithm>
#include <array>
#include <memory>

namespace TarnConfigStore {

struct KeptBlock {
    std::unique_ptr<char[]> block;
    size_t size = 0;
    bool inUse = false;
};

namespace {

// Pools alive at once on one thread in the library's own calls: a result, a working copy of a
// document and a cache.
constexpr size_t kSlots = 4;
constexpr size_t kFirstBlock = 64 * 1024;

thread_local std::array<KeptBlock, kSlots> tBlocks;

// The block size that would have held used bytes, in whole first blocks, up to the bound.
size_t FittingSize(size_t used) {
    size_t blocks = (used + kFirstBlock - 1) / kFirstBlock;
    return std::min(blocks * kFirstBlock, KeptPool::kMaxKeptBlock);
}

}  // namespace

KeptPool::KeptPool() {
    auto free = std::find_if(tBlocks.begin(), tBlocks.end(),
                             [](const KeptBlock& kept) { return !kept.inUse; });
    if (free == tBlocks.end()) {
        pool_.emplace();
        return;
    }
    kept_ = &*free;
    if (!kept_->block) {
        kept_->block.reset(new char[kFirstBlock]);
        kept_->size = kFirstBlock;
    }
    kept_->inUse = true;
    pool_.emplace(kept_->block.get(), kept_->size);
}

KeptPool::~KeptPool() {
    if (!kept_) {
        return;
    }
    // The pool's header sits in the block, so what it used is a little more than its values.
    const size_t needed = pool_->Size() + 64;
    pool_.reset();  // frees the chunks beyond the block
    if (needed > kept_->size && kept_->size < kMaxKeptBlock) {
        kept_->size = FittingSize(needed);
        kept_->block.reset(new char[kept_->size]);
    }
    kept_->inUse = false;
}

}  // namespace TarnConfigStore
