#include "validation/duplicate_findings.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tarn/json/json_text.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

const char kDuplicateMemberId[] = "com.corvid.tarn.settings.validation.duplicate-member";
const char kDuplicateInstanceId[] = "com.corvid.tarn.settings.validation.duplicate-instance";

namespace {

// Objects up to this size are searched pairwise; larger ones through a set.
constexpr rapidjson::SizeType kPairwiseLimit = 16;

std::string_view NameOf(const rapidjson::Value& name) {
    return {name.GetString(), name.GetStringLength()};
}

// A member name as a JSON pointer token.
std::string Token(std::string_view name) {
    std::string token;
    for (char c : name) {
        token += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    }
    return token;
}

// Whether the member at index repeats an earlier name: small objects are searched pairwise,
// larger ones through seen (names so far).
bool SeenBefore(const rapidjson::Value& object, rapidjson::SizeType index,
                std::unordered_set<std::string_view>& seen) {
    auto member = object.MemberBegin() + index;
    if (object.MemberCount() > kPairwiseLimit) {
        return !seen.insert(NameOf(member->name)).second;
    }
    for (auto earlier = object.MemberBegin(); earlier != member; ++earlier) {
        if (earlier->name == member->name) {
            return true;
        }
    }
    return false;
}

// One step of the path from the document down to the value being walked: a member name, or
// an array index when name is null.
struct Step {
    const rapidjson::Value* name;
    rapidjson::SizeType index;
};

class DuplicateWalk {
public:
    DuplicateWalk(ValidationErrorMap& errorMap, FailedObjectSet& failedObjects)
        : errorMap_(errorMap), failedObjects_(failedObjects) {}

    // The walk keeps the steps to value and writes a path out only for a finding: building
    // one per value cost as much as the schema phase itself on large documents. A key's value
    // is three steps down.
    void Walk(const rapidjson::Value& value) {
        if (value.IsArray()) {
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
                if (value[i].IsObject() || value[i].IsArray()) {
                    steps_.push_back({nullptr, i});
                    Walk(value[i]);
                    steps_.pop_back();
                }
            }
            return;
        }
        if (!value.IsObject()) {
            return;
        }
        std::unordered_set<std::string_view> seen;
        for (rapidjson::SizeType i = 0; i < value.MemberCount(); ++i) {
            const auto& member = *(value.MemberBegin() + i);
            steps_.push_back({&member.name, i});
            if (SeenBefore(value, i, seen)) {
                Add(Path(), kDuplicateMemberId, {std::string(NameOf(member.name))});
            }
            if (steps_.size() == 3 && member.value.IsArray()) {
                CheckInstanceKeys(member.value);
            }
            if (member.value.IsObject() || member.value.IsArray()) {
                Walk(member.value);
            }
            steps_.pop_back();
        }
    }

private:
    std::string Path() const {
        std::string path;
        for (const Step& step : steps_) {
            path += '/';
            path += step.name ? Token(NameOf(*step.name)) : std::to_string(step.index);
        }
        return path;
    }

    // The instances of the key the steps lead to (component/group/key), when its schema names
    // an instance key of its own.
    void CheckInstanceKeys(const rapidjson::Value& instances) {
        auto schema = TarnSchemaStore::GetSchema(std::string(NameOf(*steps_[0].name)),
                                                 std::string(NameOf(*steps_[1].name)),
                                                 std::string(NameOf(*steps_[2].name)), Store());
        if (!schema || !schema->IsMultiInstance() ||
            schema->GetInstanceKey() == "cs_generated_id") {
            return;
        }
        const std::string& key = schema->GetInstanceKey();
        ids_.clear();
        for (const auto& instance : instances.GetArray()) {
            ids_.push_back(InstanceKeyOf(instance, key));
        }
        for (rapidjson::SizeType later = 1; later < instances.Size(); ++later) {
            const rapidjson::Value* id = ids_[later];
            for (rapidjson::SizeType earlier = 0; id && earlier < later; ++earlier) {
                const rapidjson::Value* other = ids_[earlier];
                if (other && *other == *id) {
                    Add(Path() + "/" + std::to_string(later) + "/" + Token(key),
                        kDuplicateInstanceId,
                        {TarnConfigStore::WriteJsonText(*id), std::to_string(earlier)});
                    break;
                }
            }
        }
    }

    const std::shared_ptr<TarnSchemaStore::SchemaStore>& Store() {
        if (!store_) {
            store_ = TarnSchemaStore::SchemaStore::GetStore();
        }
        return store_;
    }

    static const rapidjson::Value* InstanceKeyOf(const rapidjson::Value& instance,
                                                 const std::string& key) {
        if (!instance.IsObject()) {
            return nullptr;
        }
        auto found = instance.FindMember(rapidjson::StringRef(key.data(), key.size()));
        return found == instance.MemberEnd() ? nullptr : &found->value;
    }

    void Add(const std::string& path, const char* id, std::vector<std::string> args) {
        AddValidationError(path, ErrorInfo(id, std::move(args)), errorMap_, failedObjects_);
    }

    ValidationErrorMap& errorMap_;
    FailedObjectSet& failedObjects_;
    std::shared_ptr<TarnSchemaStore::SchemaStore> store_;
    std::vector<Step> steps_;
    std::vector<const rapidjson::Value*> ids_;  // instance keys of the key being checked
};

}  // namespace

void CollectDuplicates(const rapidjson::Value& value, ValidationErrorMap& errorMap,
                       FailedObjectSet& failedObjects) {
    DuplicateWalk(errorMap, failedObjects).Walk(value);
}

}  // namespace TarnConfigManager
