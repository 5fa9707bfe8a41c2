// A consumer that includes every public header first and rapidjson after it.
#include "all_public_headers.h"

#include <rapidjson/document.h>
#include <rapidjson/writer.h>

int HeaderOrderLibraryFirst() {
    rapidjson::Document document;
    document.Parse("[1]");
    return document.IsArray() ? 0 : 1;
}
