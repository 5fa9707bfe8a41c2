// JSON text in tests: parsing through the host libraries' one parse path (the test fails when
// the text does not parse) and compact text for comparisons. Test-only; reentrant.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tarn/json/json_text.h"

namespace TarnTest {

inline rapidjson::Document ParseJson(const std::string& text) {
    rapidjson::Document document;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(text, document)) << text;
    return document;
}

inline std::string JsonText(const rapidjson::Value& value) {
    return TarnConfigStore::WriteJsonText(value);
}

}  // namespace TarnTest
