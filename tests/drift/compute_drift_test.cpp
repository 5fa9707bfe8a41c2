#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "recording_handler.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnTest;
using Lines = std::vector<std::string>;

using DriftWalk = DriftTest;

TEST_F(DriftWalk, IdenticalDocumentsReportNothing) {
    const char* doc = R"({"host": {"time": {"ntp": {"enabled": true, "level": 1}},
                          "accounts": {"users": [{"name": "a"}, {"name": "b"}]}}})";
    RecordingHandler handler;
    EXPECT_EQ(Drift(doc, doc, handler), Lines{});
    RecordingHandler numbers;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": 1}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1.0}}}})", numbers),
              Lines{});
    RecordingHandler text;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": "1"}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1}}}})", text),
              Lines{R"(Prop SET /host/time/ntp/level "1" 1)"});
}

// A member the key's schema does not name (an extract plugin's, or a document's where the
// schema allows other members) is compared like any other, on either side.
TEST_F(DriftWalk, MembersTheSchemaDoesNotNameAreCompared) {
    RecordingHandler desiredExtra;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": 1, "extra": 2}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1}}}})", desiredExtra),
              Lines{"Prop ADD /host/time/ntp/extra 2 null"});
    RecordingHandler hostExtra;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": 1}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1, "extra": {"a": 1}}}}})", hostExtra),
              Lines{R"(Prop DELETE /host/time/ntp/extra null {"a":1})"});
}

// Members pair up by name whatever their order. A repeated name is compared with the first
// member of that name on the other side, and a name is looked up up to a NUL it carries.
TEST_F(DriftWalk, MembersPairByNameInAnyOrder) {
    const char* desired = R"({"host": {"time": {"ntp": {"level": 1, "x": 2, "y": 3}}}})";
    for (const char* host : {R"({"host": {"time": {"ntp": {"level": 1, "x": 5, "y": 3}}}})",
                             R"({"host": {"time": {"ntp": {"y": 3, "x": 5, "level": 1}}}})"}) {
        RecordingHandler handler;
        EXPECT_EQ(Drift(desired, host, handler), Lines{"Prop SET /host/time/ntp/x 2 5"}) << host;
    }
    RecordingHandler repeated;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": 1, "x": 1, "x": 2}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1, "x": 1, "x": 3}}}})", repeated),
              Lines{"Prop SET /host/time/ntp/x 2 1"});
    RecordingHandler withNul;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": 1, "x\u0000y": 1}}}})",
                    R"({"host": {"time": {"ntp": {"level": 1, "x\u0000y": 2}}}})", withNul),
              (Lines{"Prop ADD /host/time/ntp/x 1 null", "Prop DELETE /host/time/ntp/x null 2"}));
}

TEST_F(DriftWalk, SingleInstanceKeyMissingOnOneSide) {
    const char* desired = R"({"host": {"time": {"ntp": {"enabled": true, "level": 2}}}})";
    RecordingHandler whole;
    EXPECT_EQ(Drift(desired, "{}", whole),
              Lines{R"(Set /host/time/ntp host:time:ntp: {"enabled":true,"level":2} null null)"});

    RecordingHandler byProperty;
    byProperty.compareEmptyByProperty = true;
    EXPECT_EQ(Drift(desired, "{}", byProperty), (Lines{"Prop ADD /host/time/ntp/enabled true null",
                                                       "Prop ADD /host/time/ntp/level 2 null"}));

    RecordingHandler consolidated;
    consolidated.compareEmptyByProperty = true;
    consolidated.consolidatedActionRequired = true;
    consolidated.createDriftObject = true;
    Lines lines = Drift(desired, "{}", consolidated);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], R"(Set /host/time/ntp host:time:ntp: {"enabled":true,"level":2} null )"
                        R"({"enabled":"ADD","level":"ADD"})");

    // An empty desired object is the same as no desired key at all.
    const char* host = R"({"host": {"time": {"ntp": {"enabled": true, "cs_generated_id": "g"}}}})";
    for (const char* absent : {R"({"host": {"time": {"ntp": {}}}})", "{}"}) {
        RecordingHandler deleted;
        EXPECT_EQ(
            Drift(absent, host, deleted),
            Lines{
                R"(Delete /host/time/ntp host:time:ntp: {"enabled":true,"cs_generated_id":"g"})"});
        RecordingHandler deletedByProperty;
        deletedByProperty.compareEmptyByProperty = true;
        EXPECT_EQ(Drift(absent, host, deletedByProperty),
                  Lines{"Prop DELETE /host/time/ntp/enabled null true"});
    }
}

TEST_F(DriftWalk, KeyedInstancesAreMatchedByTheirKeyAndHostOnlyOnesComeLast) {
    RecordingHandler handler;
    handler.useDefaultInstances = false;
    handler.consolidatedActionRequired = true;
    EXPECT_EQ(Drift(R"({"host": {"accounts": {"users": [{"name": "a", "uid": 1},
                                                         {"name": "b", "uid": 2}]}}})",
                    R"({"host": {"accounts": {"users": [{"name": "b", "uid": 3}, {"name": "x"},
                                                        {"name": "y"}]}}})",
                    handler),
              (Lines{R"(Add /host/accounts/users/0 host:accounts:users:a {"name":"a","uid":1})",
                     "Prop SET /host/accounts/users/1/uid 2 3",
                     R"(Set /host/accounts/users/1 host:accounts:users:b {"name":"b","uid":2} )"
                     R"({"name":"b","uid":3} {})",
                     R"(Delete /host/accounts/users/2 host:accounts:users:y {"name":"y"})",
                     R"(Delete /host/accounts/users/3 host:accounts:users:x {"name":"x"})"}));

    RecordingHandler hostOnly;
    EXPECT_EQ(Drift("{}", R"({"host": {"accounts": {"users": [{"name": "h0"}, {"name": "h1"},
                                                              {"name": "h2"}]}}})",
                    hostOnly),
              (Lines{R"(Delete /host/accounts/users/0 host:accounts:users:h2 {"name":"h2"})",
                     R"(Delete /host/accounts/users/1 host:accounts:users:h1 {"name":"h1"})",
                     R"(Delete /host/accounts/users/2 host:accounts:users:h0 {"name":"h0"})"}));
}

TEST_F(DriftWalk, EachChangeIsReportedAtItsOwnPath) {
    RecordingHandler handler;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"options": {"iburst": true},
                        "peers": [{"name": "p1", "port": 2}, {"name": "p2"}], "level": 2}}}})",
                    R"({"host": {"time": {"ntp": {"options": {"iburst": true, "minpoll": 4},
                        "peers": [{"name": "p1", "port": 1}, {"name": "p3"}], "level": 1,
                        "enabled": true}}}})",
                    handler),
              (Lines{"Prop DELETE /host/time/ntp/options/minpoll null 4",
                     "Prop SET /host/time/ntp/peers/0/port 2 1",
                     R"(Prop ADD /host/time/ntp/peers/1 {"name":"p2"} null)",
                     R"(Prop DELETE /host/time/ntp/peers/2 null {"name":"p3"})",
                     "Prop SET /host/time/ntp/level 2 1",
                     "Prop DELETE /host/time/ntp/enabled null true"}));
}

// An explicit null is the absence of a value: against a value it is a DELETE (null desired)
// or an ADD (null on the host), which impact treats differently; two nulls are no drift.
TEST_F(DriftWalk, AnExplicitNullOnOneSideIsAnAddOrADelete) {
    RecordingHandler handler;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"level": null, "enabled": true,
                        "options": {"minpoll": 4, "iburst": null}, "peers": null}}}})",
                    R"({"host": {"time": {"ntp": {"level": 3, "enabled": null,
                        "options": {"minpoll": null, "iburst": null},
                        "peers": [{"name": "p1"}]}}}})",
                    handler),
              (Lines{"Prop DELETE /host/time/ntp/level null 3",
                     "Prop ADD /host/time/ntp/enabled true null",
                     "Prop ADD /host/time/ntp/options/minpoll 4 null",
                     R"(Prop DELETE /host/time/ntp/peers null [{"name":"p1"}])"}));
}

TEST_F(DriftWalk, ARepeatedHostKeyMatchesItsLastOccurrence) {
    RecordingHandler handler;
    handler.useDefaultInstances = false;
    EXPECT_EQ(
        Drift(R"({"host": {"accounts": {"users": [{"name": "b", "uid": 1}]}}})",
              R"({"host": {"accounts": {"users": [{"name": "b", "uid": 1},
                                                        {"name": "b", "uid": 2}]}}})",
              handler),
        (Lines{"Prop SET /host/accounts/users/0/uid 1 2",
               R"(Delete /host/accounts/users/1 host:accounts:users:b {"name":"b","uid":1})"}));
    // Repeated on both sides: each desired one takes the last host one not yet taken.
    RecordingHandler again;
    again.useDefaultInstances = false;
    EXPECT_EQ(
        Drift(R"({"host": {"accounts": {"users": [{"name": "b", "uid": 1},
                                                        {"name": "b", "uid": 5}]}}})",
              R"({"host": {"accounts": {"users": [{"name": "b", "uid": 1},
                                                        {"name": "b", "uid": 2},
                                                        {"name": "b", "uid": 3}]}}})",
              again),
        (Lines{"Prop SET /host/accounts/users/0/uid 1 3", "Prop SET /host/accounts/users/1/uid 5 2",
               R"(Delete /host/accounts/users/2 host:accounts:users:b {"name":"b","uid":1})"}));
}

// Enough instances that key values share table slots: every desired one still finds its own
// host partner, a repeated host key its last occurrence, and the leftovers come out highest
// position first.
TEST_F(DriftWalk, ManyKeyedInstancesMatchTheirOwnPartners) {
    auto users = [](int count, bool host) {
        std::string text = R"({"host": {"accounts": {"users": [)";
        for (int i = 0; i < count; ++i) {
            int uid = host && i == 50 ? -1 : i;
            text += (i ? "," : "") + std::string(R"({"name": "u)") + std::to_string(i) +
                    R"(", "uid": )" + std::to_string(uid) + "}";
        }
        return text + (host ? R"(, {"name": "u10", "uid": 99}]}}})" : "]}}}");
    };
    RecordingHandler handler;
    handler.useDefaultInstances = false;
    Lines lines = Drift(users(200, false), users(250, true), handler);
    ASSERT_EQ(lines.size(), 53u);
    EXPECT_EQ(lines[0], "Prop SET /host/accounts/users/10/uid 10 99");
    EXPECT_EQ(lines[1], "Prop SET /host/accounts/users/50/uid 50 -1");
    EXPECT_EQ(
        lines[2],
        R"(Delete /host/accounts/users/200 host:accounts:users:u249 {"name":"u249","uid":249})");
    EXPECT_EQ(
        lines[51],
        R"(Delete /host/accounts/users/249 host:accounts:users:u200 {"name":"u200","uid":200})");
    EXPECT_EQ(lines[52],
              R"(Delete /host/accounts/users/250 host:accounts:users:u10 {"name":"u10","uid":10})");
}

TEST_F(DriftWalk, DefaultInstancesAreSetRatherThanAdded) {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::PutDefaultRow(connection, "host", "accounts", "users", "root",
                                   R"({"name":"root"})");
    RecordingHandler handler;
    EXPECT_EQ(
        Drift(R"({"host": {"accounts": {"users": [{"name": "root"}, {"name": "a"}]}}})", "{}",
              handler),
        (Lines{R"(Set /host/accounts/users/0 host:accounts:users:root {"name":"root"} null null)",
               R"(Add /host/accounts/users/1 host:accounts:users:a {"name":"a"})"}));
    RecordingHandler noId;
    try {
        Drift(R"({"host": {"accounts": {"users": [{"name": ""}]}}})", "{}", noId);
        FAIL();
    } catch (const TarnConfigManager::ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
        EXPECT_STREQ(e.what(), "InstanceId is not set for non-singleton configuration");
    }
}

TEST_F(DriftWalk, ContentIdentifiedInstancesMatchByValue) {
    RecordingHandler handler;
    Lines lines = Drift(
        R"({"host": {"dns": {"servers": [{"ip": "1"}, {"ip": "2", "cs_generated_id": "g2"}]}}})",
        R"({"host": {"dns": {"servers": [{"ip": "2", "cs_generated_id": "h2"},
                                                         {"ip": "3", "cs_generated_id": "h3"}]}}})",
        handler);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Add /host/dns/servers/0 host:dns:servers:", 0), 0u) << lines[0];
    EXPECT_NE(lines[0], R"(Add /host/dns/servers/0 host:dns:servers: {"ip":"1"})");
    EXPECT_EQ(
        lines[1],
        R"(Delete /host/dns/servers/2 host:dns:servers:h3 {"ip":"3","cs_generated_id":"h3"})");
}

TEST_F(DriftWalk, GeneratedIdMembersAreNotConfiguration) {
    RecordingHandler both;
    EXPECT_EQ(
        Drift(R"({"host": {"time": {"ntp": {"cs_generated_id": "a", "enabled": true}}}})",
              R"({"host": {"time": {"ntp": {"cs_generated_id": "b", "enabled": true}}}})", both),
        Lines{});
    RecordingHandler hostOnly;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"enabled": true}}}})",
                    R"({"host": {"time": {"ntp": {"cs_generated_id": "b", "enabled": true}}}})",
                    hostOnly),
              Lines{});
    RecordingHandler desiredOnly;
    EXPECT_EQ(Drift(R"({"host": {"time": {"ntp": {"cs_generated_id": "a", "enabled": true}}}})",
                    R"({"host": {"time": {"ntp": {"enabled": true}}}})", desiredOnly),
              Lines{R"(Prop ADD /host/time/ntp/cs_generated_id "a" null)"});
}

TEST_F(DriftWalk, ProfileIsUnwrappedAndHostOnlyKeysComeAfterDesiredOnes) {
    const char* host = R"({"host": {"dns": {"servers": [{"ip": "9", "cs_generated_id": "g"}]},
                                     "time": {"ntp": {"level": 1}}}})";
    const char* desired = R"({"host": {"time": {"ntp": {"level": 2}},
                                       "accounts": {"users": [{"name": "a"}]}}})";
    RecordingHandler plain;
    plain.useDefaultInstances = false;
    Lines expected = {
        "Prop SET /host/time/ntp/level 2 1",
        R"(Add /host/accounts/users/0 host:accounts:users:a {"name":"a"})",
        R"(Delete /host/dns/servers/0 host:dns:servers:g {"ip":"9","cs_generated_id":"g"})"};
    EXPECT_EQ(Drift(desired, host, plain), expected);
    RecordingHandler wrapped;
    wrapped.useDefaultInstances = false;
    EXPECT_EQ(Drift(std::string(R"({"profile": )") + desired + "}", host, wrapped), expected);
}

TEST_F(DriftWalk, FailuresKeepTheCallbacksAlreadyMade) {
    RecordingHandler handler;
    CSLogger::Capture capture;
    try {
        Drift(R"({"host": {"time": {"ntp": {"level": 2}}}, "x": {"y": {"z": 1}}})", "{}", handler);
        FAIL();
    } catch (const TarnConfigManager::ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 2021);
        EXPECT_EQ(e.GetArgs(), std::vector<std::string>{"/x/y/z"});
    }
    EXPECT_EQ(handler.lines.size(), 1u);
    EXPECT_TRUE(capture.Contains(0, "Schema not found for x:y:z"));

    // A wrongly shaped document names the place and what belongs there, never the JSON
    // library's own check.
    const std::pair<const char*, const char*> shapes[] = {
        {R"({"host": {"accounts": {"users": {"name": "a"}}}})",
         "The value at /host/accounts/users is an object; a multi-instance key is an array of "
         "instances"},
        {R"({"host": {"accounts": {"users": [{"uid": 1}]}}})",
         "The value at /host/accounts/users/0/name is missing; every instance has its instance "
         "key"},
        {R"({"host": {"accounts": {"users": [{"name": 7}]}}})",
         "The value at /host/accounts/users/0/name is a number; an instance key is a string"},
        {R"({"host": {"time": 5}})", "The value at /host/time is a number; a group is an object"},
        {R"({"host": [{"time": {}}]})", "The value at /host is an array; a component is an object"},
        {"[1]", "The value at / is an array; a configuration document is an object"}};
    for (const auto& [desired, message] : shapes) {
        RecordingHandler shaped;
        shaped.useDefaultInstances = false;
        try {
            Drift(desired, "{}", shaped);
            ADD_FAILURE() << desired;
        } catch (const TarnConfigManager::ConfigManagerException&) {
            ADD_FAILURE() << "shape errors come from the JSON checks: " << desired;
        } catch (const TarnConfigStore::ConfigStoreException& e) {
            EXPECT_EQ(e.GetCode(), 1082) << desired;
            EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
        }
    }
    RecordingHandler badHost;
    EXPECT_THROW(Drift(R"({"host": {"time": {"ntp": {"level": 2}}}})", R"({"host": 5})", badHost),
                 TarnConfigStore::ConfigStoreException);
}
