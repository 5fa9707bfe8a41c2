#include <gtest/gtest.h>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "recording_handler.h"

using namespace TarnTest;
using Lines = std::vector<std::string>;

namespace {

// Records the markers Set receives and keeps the desired document, which the walk may change.
class MarkerHandler : public TarnConfigManager::DriftHandler {
public:
    MarkerHandler() {
        consolidatedActionRequired = true;
        createDriftObject = true;
    }
    void Set(const Value&, const Value&, const ObjectId&, const Schema&, const std::string& path,
             const Value& driftObject) override {
        std::string text;
        TarnConfigManager::SerializeValue(driftObject, text);
        markers.push_back(path + " " + text);
    }
    void PropertyDrift(const Value&, const Value&, const Value&, const std::string& path,
                       TarnConfigManager::ACTION action) override {
        properties.push_back(std::string(TarnConfigManager::kActionNames[action]) + " " + path);
    }
    std::vector<std::string> markers;
    std::vector<std::string> properties;
};

}  // namespace

using DriftMarkers = DriftTest;

TEST_F(DriftMarkers, RecordWhatChangedInsideObjectsAndArrays) {
    rapidjson::Document desired;
    TarnConfigManager::ParseDocument(R"({"host": {"time": {"ntp": {
        "enabled": false, "options": {"iburst": true, "minpoll": 4},
        "peers": [{"name": "p1", "port": 1}, {"name": "p2"}],
        "pools": [{"host": "x"}], "servers": ["a", "b"]}}}})",
                                     desired);
    MarkerHandler handler;
    handler.hostDocument.emplace();
    TarnConfigManager::ParseDocument(R"({"host": {"time": {"ntp": {
        "enabled": true, "options": {"iburst": false},
        "peers": [{"name": "p1", "port": 2}, {"name": "p3"}],
        "pools": [{"host": "y", "cs_generated_id": "gy"}], "servers": ["b", "a"]}}}})",
                                     *handler.hostDocument);
    TarnConfigManager::ComputeDrift(desired, desired.GetAllocator(), handler);

    EXPECT_EQ(handler.properties,
              (std::vector<std::string>{
                  "SET /host/time/ntp/enabled", "SET /host/time/ntp/options/iburst",
                  "ADD /host/time/ntp/options/minpoll", "SET /host/time/ntp/peers/0/port",
                  "ADD /host/time/ntp/peers/1", "DELETE /host/time/ntp/peers/2",
                  "ADD /host/time/ntp/pools/0", "DELETE /host/time/ntp/pools/1"}));

    // The new pool entry got a generated id in the desired document, and the marker names it.
    const rapidjson::Value& pool = desired["host"]["time"]["ntp"]["pools"][0];
    ASSERT_TRUE(pool.HasMember("cs_generated_id"));
    std::string generated = pool["cs_generated_id"].GetString();
    EXPECT_FALSE(generated.empty());
    ASSERT_EQ(handler.markers.size(), 1u);
    EXPECT_EQ(handler.markers[0],
              std::string("/host/time/ntp ") +
                  R"({"enabled":"SET","options":{"iburst":"SET","minpoll":"ADD"},)"
                  R"("peers":[{"INSTANCEID":"p1","DRIFTOP":"SET","DRIFTOBJ":{"port":"SET"}},)"
                  R"({"INSTANCEID":"p2","DRIFTOP":"ADD"},{"INSTANCEID":"p3","DRIFTOP":"DELETE"}],)"
                  R"("pools":[{"INSTANCEID":")" +
                  generated + R"(","DRIFTOP":"ADD"},{"INSTANCEID":"gy","DRIFTOP":"DELETE"}]})");
}

TEST_F(DriftMarkers, AreAbsentWhenNotAskedFor) {
    RecordingHandler handler;
    handler.consolidatedActionRequired = true;
    Lines lines = Drift(R"({"host": {"time": {"ntp": {"pools": [{"host": "x"}], "level": 1}}}})",
                        R"({"host": {"time": {"ntp": {"pools": [], "level": 2}}}})", handler);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], R"(Set /host/time/ntp host:time:ntp: {"pools":[{"host":"x"}],"level":1} )"
                        R"({"pools":[],"level":2} {})");
}
