// InstanceLabels: which instance an array index in a drift path stands for. A compliance report
// names array elements by position ("/security/accounts/users/0/shell"); for elements matched by
// a key property the key schemas say which property that is, and the desired document holds its
// value, so people can read "users/0: name=ops" instead of counting entries. Main thread.
#pragma once

#include <string>

#include "tarn/json/json.h"

namespace Tarnctl {

// "users/0: name=ops, settings/2: keyword=Port" for the keyed elements along path in desired;
// empty when there are none (elements identified by content, indices past the desired
// elements, keys without schema). The element path ends at is left out: it is shown whole.
std::string InstanceLabels(const std::string& path, const rapidjson::Value& desired);

}  // namespace Tarnctl
