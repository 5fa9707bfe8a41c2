#include "validation/duplicate_findings.h"

#include <string>
#include <string_view>
#include <unordered_set>

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

class DuplicateWalk {
public:
    DuplicateWalk(ValidationErrorMap& errorMap, FailedObjectSet& failedObjects)
        : errorMap_(errorMap), failedObjects_(failedObjects) {}

    // depth counts the levels above value: 3 for a key's value. path is value's path; it is
    // extended for each child and restored after it.
    void Walk(const rapidjson::Value& value, std::string& path, int depth) {
        const size_t length = path.size();
        if (value.IsArray()) {
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
                path += '/';
                path += std::to_string(i);
                Walk(value[i], path, depth + 1);
                path.resize(length);
            }
            return;
        }
        if (!value.IsObject()) {
            return;
        }
        std::unordered_set<std::string_view> seen;
        for (rapidjson::SizeType i = 0; i < value.MemberCount(); ++i) {
            const auto& member = *(value.MemberBegin() + i);
            path += '/';
            path += Token(NameOf(member.name));
            if (SeenBefore(value, i, seen)) {
                Add(path, kDuplicateMemberId, {std::string(NameOf(member.name))});
            }
            if (depth == 2 && member.value.IsArray()) {
                CheckInstanceKeys(member.value, path);
            }
            Walk(member.value, path, depth + 1);
            path.resize(length);
        }
    }

private:
    // The instances of the key at path (component/group/key), when its schema names an
    // instance key of its own.
    void CheckInstanceKeys(const rapidjson::Value& instances, const std::string& path) {
        const size_t component = path.find('/', 1);
        const size_t group = path.find('/', component + 1);
        auto schema = TarnSchemaStore::GetSchema(path.substr(1, component - 1),
                                                 path.substr(component + 1, group - component - 1),
                                                 path.substr(group + 1), Store());
        if (!schema || !schema->IsMultiInstance() ||
            schema->GetInstanceKey() == "cs_generated_id") {
            return;
        }
        const std::string& key = schema->GetInstanceKey();
        for (rapidjson::SizeType later = 1; later < instances.Size(); ++later) {
            const rapidjson::Value* id = InstanceKeyOf(instances[later], key);
            for (rapidjson::SizeType earlier = 0; id && earlier < later; ++earlier) {
                const rapidjson::Value* other = InstanceKeyOf(instances[earlier], key);
                if (other && *other == *id) {
                    Add(path + "/" + std::to_string(later) + "/" + Token(key), kDuplicateInstanceId,
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
};

}  // namespace

void CollectDuplicates(const rapidjson::Value& value, ValidationErrorMap& errorMap,
                       FailedObjectSet& failedObjects) {
    std::string path;
    DuplicateWalk(errorMap, failedObjects).Walk(value, path, 0);
}

}  // namespace TarnConfigManager
