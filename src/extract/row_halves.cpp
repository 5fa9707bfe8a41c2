#include "row_halves.h"

#include <sys/mman.h>

#include <cstdint>
#include <system_error>

#include "tarn/json/json_copy.h"

namespace TarnConfigManager {

namespace {

// The worker's document is given this many bytes per byte of row text, and some to spare.
// Parsed values take more room than their text: 16 bytes per value, 32 per member, so about
// 2.3 times the text for the instances of the compliance bench, 5 for objects of one-digit
// numbers, 8 for arrays of them. Pages of the block that are never written are never touched,
// so room to spare costs address space only; a worker that still outgrows it has its values
// copied at the join.
constexpr size_t kWorkedBytesPerTextByte = 8;
constexpr size_t kWorkedSpareBytes = 1 << 20;

// Fresh memory costs a page fault per 4 KiB page written, which on a virtual machine costs more
// than converting what the page holds; in 2 MiB pages the block costs a fault per 2 MiB. Only a
// hint: where the kernel has no such pages to give, the block is paged as usual.
void AdviseLargePages(void* block, size_t bytes) {
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kLargePage - 1) & ~(kLargePage - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kLargePage - 1);
    if (start < end) {
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
}

// Whether from's keys that into has too are arrays on both sides that the worker only
// appended to.
bool Joins(const rapidjson::Value& into, const rapidjson::Value& from,
           const std::unordered_set<TarnSchemaStore::SchemaObjectId>& singles) {
    for (const auto& component : from.GetObject()) {
        auto intoComponent = into.FindMember(component.name);
        if (intoComponent == into.MemberEnd()) {
            continue;
        }
        for (const auto& group : component.value.GetObject()) {
            auto intoGroup = intoComponent->value.FindMember(group.name);
            if (intoGroup == intoComponent->value.MemberEnd()) {
                continue;
            }
            for (const auto& key : group.value.GetObject()) {
                auto intoKey = intoGroup->value.FindMember(key.name);
                if (intoKey == intoGroup->value.MemberEnd()) {
                    continue;
                }
                TarnSchemaStore::SchemaObjectId id(component.name.GetString(),
                                                   group.name.GetString(), key.name.GetString());
                if (!intoKey->value.IsArray() || !key.value.IsArray() || singles.count(id) != 0) {
                    return false;
                }
            }
        }
    }
    return true;
}

rapidjson::Value Take(rapidjson::Value& value, rapidjson::MemoryPoolAllocator<>& allocator,
                      bool copy) {
    return copy ? TarnConfigStore::CopyJsonValue(value, allocator)
                : rapidjson::Value(std::move(value));
}

// Adds the members of from (components, then groups, then keys as level grows) to into, as
// the rows that made from would have added them to into one by one.
void JoinLevel(rapidjson::Value& into, rapidjson::Value& from,
               rapidjson::MemoryPoolAllocator<>& allocator, bool copy, int level) {
    constexpr int kKeyLevel = 2;
    for (auto& member : from.GetObject()) {
        auto found = into.FindMember(member.name);
        if (found == into.MemberEnd()) {
            rapidjson::Value name = Take(member.name, allocator, copy);
            rapidjson::Value value = Take(member.value, allocator, copy);
            into.AddMember(name, value, allocator);
        } else if (level < kKeyLevel) {
            JoinLevel(found->value, member.value, allocator, copy, level + 1);
        } else {
            for (auto& instance : member.value.GetArray()) {
                rapidjson::Value taken = Take(instance, allocator, copy);
                found->value.PushBack(taken, allocator);
            }
        }
    }
}

}  // namespace

SecondHalf::SecondHalf(const ConversionContext& context, rapidjson::Document& document,
                       size_t textBytes, SecondHalfRows rows)
    : context_(context), document_(document), rows_(std::move(rows)) {
    size_t bytes = textBytes * kWorkedBytesPerTextByte + kWorkedSpareBytes;
    void* block = document.GetAllocator().Malloc(bytes);
    if (block == nullptr) {
        return;
    }
    AdviseLargePages(block, bytes);
    pool_.emplace(block, bytes);
    poolCapacity_ = pool_->Capacity();
    worked_.emplace(rapidjson::kObjectType, &*pool_);
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // no thread to be had: the caller converts these rows too
    }
}

SecondHalf::~SecondHalf() {
    if (worker_.joinable()) {
        stop_ = true;
        worker_.join();
    }
}

void SecondHalf::Run() {
    lines_.emplace();
    try {
        RowConverter converter(context_, *worked_, *worked_);
        converter.NoteSingleObjects(&singles_);
        begun_ = rows_(converter, stop_);
    } catch (...) {
        begun_ = true;  // what the rows threw
        failure_ = std::current_exception();
    }
}

bool SecondHalf::Join(rapidjson::Value& target) {
    worker_.join();
    if (!begun_ || !Joins(target, *worked_, singles_)) {
        return false;
    }
    lines_->Release();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    // Values past the block belong to the worker's allocator, which goes with this object.
    const bool copy = pool_->Capacity() != poolCapacity_;
    JoinLevel(target, *worked_, document_.GetAllocator(), copy, 0);
    return true;
}

}  // namespace TarnConfigManager
