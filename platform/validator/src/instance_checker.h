// InstanceChecker: applies a CompiledSchema to a value and files every finding. The walk
// allocates nothing while the value conforms (paths are a chain of stack frames turned into
// text only for a finding), probes the branches of anyOf/oneOf/not without filing, guards
// "$ref" cycles that do not advance into the value, and stops at a nesting limit.
// One checker per validation run; one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error_catalog.h"
#include "schema_node.h"

namespace TarnValidator {

// Where a value sits in the validated document: a chain of frames up to the root.
struct PathFrame {
    const PathFrame* parent = nullptr;
    const rapidjson::Value* name = nullptr;  // member name; nullptr for an item or the root
    rapidjson::SizeType index = 0;           // item index
    unsigned depth = 0;

    PathFrame Member(const rapidjson::Value& memberName) const {
        return PathFrame{this, &memberName, 0, depth + 1};
    }
    PathFrame Item(rapidjson::SizeType itemIndex) const {
        return PathFrame{this, nullptr, itemIndex, depth + 1};
    }
};

struct CheckOptions {
    uint64_t switchedOff = 0;   // bit c set: code c is neither reported nor a failure
    bool documentKeys = false;  // values at depth 3 are configuration keys
    std::string fieldPrefix;    // put before every field
};

class InstanceChecker {
public:
    // Deepest nesting of schema applications (values, subschemas and references together).
    static constexpr unsigned kMaxNesting = 2048;

    InstanceChecker(const CheckOptions& options, std::vector<ValidationFinding>& findings);

    // Whether value conforms to node; findings go to the list given at construction.
    bool Check(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);

private:
    bool CheckKeywords(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckRef(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckType(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    // minLength/maxLength, minItems/maxItems, minProperties/maxProperties.
    bool CheckCount(uint64_t count, uint64_t min, uint64_t max, int tooFew, int tooMany,
                    const PathFrame& at);
    bool CheckString(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckNumber(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckArray(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckArrayItems(const SchemaNode& node, const rapidjson::Value& value,
                         const PathFrame& at);
    bool CheckUniqueItems(const rapidjson::Value& value, const PathFrame& at);
    bool CheckObject(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    bool CheckMember(const SchemaNode& node, const rapidjson::Value::Member& member,
                     const PathFrame& at, uint64_t& requiredSeen);
    bool CheckRequired(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at,
                       uint64_t requiredSeen);
    bool CheckDependencies(const SchemaNode& node, const rapidjson::Value& value,
                           const PathFrame& at);
    bool CheckCombinations(const SchemaNode& node, const rapidjson::Value& value,
                           const PathFrame& at);
    bool CheckOneOf(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);
    // The union construct; returns false when it does not decide (decided stays false).
    bool CheckUnion(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at,
                    bool& decided);
    // Whether value conforms, filing nothing.
    bool Probe(const SchemaNode& node, const rapidjson::Value& value, const PathFrame& at);

    bool SwitchedOff(int code) const;
    // Files a finding at the value, or at its member child when given; makeArgs() builds the
    // arguments, only when the finding is filed. Returns whether the finding counts as a
    // failure, that is whether its code is switched on.
    template <typename MakeArgs>
    bool Fail(int code, const PathFrame& at, MakeArgs&& makeArgs,
              const std::string_view* child = nullptr);
    std::string FieldOf(const PathFrame& at, const std::string_view* child) const;

    const CheckOptions& options_;
    std::vector<ValidationFinding>& findings_;
    unsigned probing_ = 0;
    unsigned nesting_ = 0;
    // The references being followed, innermost last, with the value each was applied to.
    std::vector<std::pair<const SchemaNode*, const rapidjson::Value*>> activeRefs_;
};

}  // namespace TarnValidator
