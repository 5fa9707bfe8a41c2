// Storing a desired document as the host's desired configuration, its instances named by the
// instance key their keys' schemas give. Shared by Apply and the boot-time bootstrap; private
// to the library. Joins the calling thread's open store transaction.
#pragma once

#include "tarn/json/json.h"

namespace TarnConfigManager {

void StoreDesiredDocument(const rapidjson::Document& document);

}  // namespace TarnConfigManager
