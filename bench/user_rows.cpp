#include "user_rows.h"

#include <string>

#include "tarn/configstore/config_store.h"
#include "tarn/configstore/store_rows.h"

namespace TarnBench {

void PutUserRows(long n) {
    auto connection = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    TarnConfigStore::ConfigStoreTransaction transaction(connection);
    for (long i = 0; i < n; ++i) {
        std::string name = "user" + std::to_string(i);
        TarnConfigStore::PutCurrentRow(
            connection, "host", "accounts", "users", name,
            R"({"name":")" + name + R"(","uid":)" + std::to_string(1000 + i) +
                R"(,"shell":"/bin/bash","home":"/home/)" + name +
                R"(","comment":"a user of the row benchmarks, with a comment of some length )"
                R"(to make the row realistic","password":"$6$salt$)" +
                std::string(60, 'x') + "\"}");
    }
    transaction.Commit();
}

}  // namespace TarnBench
