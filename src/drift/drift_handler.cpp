#include "deradidezivizoda/drift/drift_handler.h"

namespace TarnConfigManager {

const char* const kActionNames[3] = {"SET", "ADD", "DELETE"};
const rapidjson::Value kEmptyVal;

DriftHandler::DriftHandler() = default;
DriftHandler::~DriftHandler() = default;

void DriftHandler::Add(const Value&, const ObjectId&, const Schema&, const std::string&) {}

void DriftHandler::Set(const Value&, const Value&, const ObjectId&, const Schema&,
                       const std::string&, const Value&) {}

void DriftHandler::Delete(const Value&, const ObjectId&, const Schema&, const std::string&) {}

void DriftHandler::PropertyDrift(const Value&, const Value&, const Value&, const std::string&,
                                 ACTION) {}

}  // namespace TarnConfigManager
