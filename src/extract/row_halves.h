// Converting the rows of one extraction on two threads: the calling thread converts the first
// rows while a short-lived worker converts the rest into a document of its own; the two are then
// joined into the document that one thread converting every row in order would have built, with
// the same log lines in the same order and the same first error. Private to src/extract.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

#include "row_converter.h"
#include "row_cut.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

// The rows the worker converts: it hands them to the converter in order and stops early once
// stop is set (the calling thread failed, so the worker's work is thrown away). False when it
// could not begin (no connection of its own): the calling thread then converts the rows.
using SecondHalfRows = std::function<bool(RowConverter& converter, const std::atomic<bool>& stop)>;

// The worker and its document. The document's values live in one block that the calling
// thread's document allocates (and so frees with itself), so that joining moves them instead of
// copying them; the block is sized from the rows' text bytes and only the part used is ever
// touched.
class SecondHalf {
public:
    // Starts the worker on rows. Started() is false when no thread can be had: the caller then
    // converts the rows itself.
    SecondHalf(const ConversionContext& context, rapidjson::Document& document, size_t textBytes,
               SecondHalfRows rows);
    // Stops and joins a worker that was not joined (the calling thread's half threw).
    ~SecondHalf();
    SecondHalf(const SecondHalf&) = delete;
    SecondHalf& operator=(const SecondHalf&) = delete;

    bool Started() const { return worker_.joinable(); }

    // Joins the worker, logs its lines, rethrows what it threw, and adds its objects to target
    // (a member of the calling thread's document): components, groups and keys the first half
    // lacks are moved to the end of their level in the worker's order, instances of a key both
    // halves have are appended to the first half's array. False, with nothing logged, thrown or
    // added, when the worker could not begin, or when a key both halves have is a single object
    // in either (one row would replace or refuse what the other made): the caller then converts
    // the worker's rows itself.
    bool Join(rapidjson::Value& target);

private:
    void Run();

    const ConversionContext& context_;
    rapidjson::Document& document_;
    SecondHalfRows rows_;
    std::optional<rapidjson::MemoryPoolAllocator<>> pool_;
    size_t poolCapacity_ = 0;
    std::optional<rapidjson::Document> worked_;
    std::optional<CSLogger::Hold> lines_;
    // Keys the worker added a single object to: what it made of them replaces, not extends.
    std::unordered_set<TarnSchemaStore::SchemaObjectId> singles_;
    std::exception_ptr failure_;
    bool begun_ = false;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace TarnConfigManager
