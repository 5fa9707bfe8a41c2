// A consumer that includes rapidjson itself, without its std::string overloads, and then every
// public header.
#include <rapidjson/document.h>
#include <rapidjson/writer.h>

#include "all_public_headers.h"

int HeaderOrderRapidjsonFirst() {
    rapidjson::Document document;
    document.Parse("[1]");
    return document.IsArray() ? 0 : 1;
}
