// ExpectStoreError: runs body and expects a ConfigStoreException with code whose message
// contains every one of the given texts. StoreErrorCode: the code of the ConfigStoreException
// body throws, 0 when it throws none. Test-only.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "tarn/json/config_store_exception.h"

inline void ExpectStoreError(int code, const std::function<void()>& body,
                             std::initializer_list<std::string> texts) {
    try {
        body();
        ADD_FAILURE() << "no exception; expected code " << code;
    } catch (const TarnConfigStore::ConfigStoreException& error) {
        EXPECT_EQ(code, error.GetCode()) << error.what();
        for (const std::string& text : texts) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find(text)) << error.what();
        }
    }
}

inline int StoreErrorCode(const std::function<void()>& body) {
    try {
        body();
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.GetCode();
    }
    return 0;
}
