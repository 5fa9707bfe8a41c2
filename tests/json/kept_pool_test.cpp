// Pools over a thread's kept blocks: the next pool reuses the block, pools alive at once never
// share one, a pool that outgrew its block finds a larger one next time, and every pool holds
// its values intact whichever memory it got. Files and long texts parsed one after another on
// a thread, through its kept read and scratch buffers, each read as itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tarn/json/json_text.h"
#include "tarn/json/kept_pool.h"
#include "tarn/paths.h"

namespace {

using TarnConfigStore::KeptPool;

// Where the pool put its first value.
const void* FirstValueAddress(KeptPool& pool) {
    return pool.Get().Malloc(16);
}

// A document of count members in pool, written out.
std::string Filled(KeptPool& pool, int count) {
    rapidjson::Document document(&pool.Get());
    document.SetObject();
    for (int i = 0; i < count; ++i) {
        std::string name = "member" + std::to_string(i);
        document.AddMember(rapidjson::Value(name.c_str(), document.GetAllocator()),
                           rapidjson::Value(i), document.GetAllocator());
    }
    return TarnConfigStore::WriteJsonText(document);
}

// A JSON array of count numbers, each written as its index.
std::string Numbers(int count) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        text += (i ? "," : "") + std::to_string(i);
    }
    return text + "]";
}

std::string Expected(int count) {
    std::string text = "{";
    for (int i = 0; i < count; ++i) {
        text += (i ? ",\"member" : "\"member") + std::to_string(i) + "\":" + std::to_string(i);
    }
    return text + "}";
}

}  // namespace

TEST(KeptPool, TheNextPoolOfTheThreadReusesTheBlockAndLivePoolsNeverShareOne) {
    // On a thread of its own, so that no earlier test's pools have grown the blocks.
    std::thread([] {
        const void* first;
        {
            KeptPool pool;
            first = FirstValueAddress(pool);
        }
        KeptPool again;
        EXPECT_EQ(FirstValueAddress(again), first);

        // Alive at once: every pool its own memory, and more pools than kept blocks still work.
        std::vector<std::unique_ptr<KeptPool>> pools;
        std::vector<const void*> addresses;
        for (int i = 0; i < 6; ++i) {
            pools.push_back(std::make_unique<KeptPool>());
            addresses.push_back(FirstValueAddress(*pools.back()));
        }
        for (size_t i = 0; i < addresses.size(); ++i) {
            for (size_t j = i + 1; j < addresses.size(); ++j) {
                EXPECT_NE(addresses[i], addresses[j]);
            }
        }
        for (auto& pool : pools) {
            EXPECT_EQ(Filled(*pool, 100), Expected(100));
        }
    }).join();
}

TEST(KeptPool, APoolThatOutgrewItsBlockGetsOneThatHoldsItsValuesNextTime) {
    std::thread([] {
        // About 80 bytes a member: well beyond the first block, within the bound.
        const int members = 4000;
        {
            KeptPool pool;
            EXPECT_EQ(Filled(pool, members), Expected(members));
        }
        KeptPool grown;
        const size_t before = grown.Get().Capacity();
        EXPECT_EQ(Filled(grown, members), Expected(members));
        // The block held everything: the pool took no heap chunk beyond it.
        EXPECT_EQ(grown.Get().Capacity(), before);
        EXPECT_GE(before, grown.Get().Size());
    }).join();
}

TEST(KeptText, FilesAndLongTextsParsedOneAfterAnotherReadEachAsItself) {
    const std::string path = TARN_ROOT_DIR "/kept_text.json";
    // Long, shorter (still beyond the stack copy), beyond the kept bound, and long again.
    for (int count : {3000, 400, 700000, 2000}) {
        std::ofstream(path, std::ios::trunc) << Numbers(count);
        rapidjson::Document fromFile;
        ASSERT_TRUE(TarnConfigStore::ParseJsonFile(path.c_str(), fromFile)) << count;
        EXPECT_EQ(TarnConfigStore::WriteJsonText(fromFile), Numbers(count));
        rapidjson::Document fromText;
        ASSERT_TRUE(TarnConfigStore::ParseJsonText(Numbers(count), fromText)) << count;
        EXPECT_EQ(fromText.Size(), static_cast<rapidjson::SizeType>(count));
    }
    // A refused long text after good ones: the place reported is in this text.
    std::string bad = Numbers(500);
    bad[bad.size() / 2] = '@';
    rapidjson::Document document;
    TarnConfigStore::JsonParseError error;
    EXPECT_FALSE(TarnConfigStore::ParseJsonText(bad, document, &error));
    EXPECT_EQ(error.offset, bad.size() / 2);
    std::remove(path.c_str());
}
