// The text forms of configuration documents: parsing, compact, redacted and normalised text.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "schema_lookup.h"
#include "store_json.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_text.h"

namespace ConfigStoreDocument {

namespace {

bool IsSensitive(const rapidjson::Value& schema) {
    return SchemaMember(schema, "sensitive").IsTrue();
}

void Redact(rapidjson::Value& value, const rapidjson::Value& schema) {
    if (IsSensitive(schema)) {
        value.SetString(rapidjson::StringRef(kRedactedText));
    } else if (value.IsObject()) {
        const rapidjson::Value& objectSchema = ObjectSchema(schema);
        for (auto& member : value.GetObject()) {
            Redact(member.value, PropertySchema(objectSchema, member.name));
        }
    } else if (value.IsArray()) {
        const rapidjson::Value& items = SchemaMember(schema, "items");
        for (auto& element : value.GetArray()) {
            Redact(element, items);
        }
    }
}

// Whether Redact would change anything in value.
bool HasSecrets(const rapidjson::Value& value, const rapidjson::Value& schema) {
    if (IsSensitive(schema)) {
        return true;
    }
    if (value.IsObject()) {
        const rapidjson::Value& objectSchema = ObjectSchema(schema);
        for (const auto& member : value.GetObject()) {
            if (HasSecrets(member.value, PropertySchema(objectSchema, member.name))) {
                return true;
            }
        }
    } else if (value.IsArray()) {
        const rapidjson::Value& items = SchemaMember(schema, "items");
        for (const auto& element : value.GetArray()) {
            if (HasSecrets(element, items)) {
                return true;
            }
        }
    }
    return false;
}

std::string_view NameOf(const rapidjson::Value& name) {
    return std::string_view(name.GetString(), name.GetStringLength());
}

// Doubles with an integral value in this range are written as integers.
constexpr double kInt64Bound = 9223372036854775808.0;  // 2^63

bool NameBefore(const rapidjson::Value::Member& a, const rapidjson::Value::Member& b) {
    // Names mostly differ in their first byte (a string's text ends in a zero byte, so an
    // empty name reads 0 there and still sorts first).
    auto first = static_cast<unsigned char>(*a.name.GetString());
    auto other = static_cast<unsigned char>(*b.name.GetString());
    if (first != other) {
        return first < other;
    }
    return NameOf(a.name) < NameOf(b.name);
}

// Members in name order, equal names keeping their order. Objects of a document are small: an
// insertion sort in place moves fewer bytes than a merge sort, and takes no buffer from the
// heap for each object as std::stable_sort does.
void SortMembers(rapidjson::Value& object) {
    auto begin = object.MemberBegin();
    auto end = object.MemberEnd();
    if (end - begin > 32) {
        std::stable_sort(begin, end, NameBefore);
        return;
    }
    for (auto next = begin + 1; next < end; ++next) {
        if (!NameBefore(*next, *(next - 1))) {
            continue;
        }
        rapidjson::Value::Member moving;
        moving.name.Swap(next->name);
        moving.value.Swap(next->value);
        auto hole = next;
        for (; hole > begin && NameBefore(moving, *(hole - 1)); --hole) {
            hole->name.Swap((hole - 1)->name);
            hole->value.Swap((hole - 1)->value);
        }
        hole->name.Swap(moving.name);
        hole->value.Swap(moving.value);
    }
}

// Normalize, leaving out the elements of one array from a place on (what another thread
// normalizes meanwhile).
struct Skipped {
    const rapidjson::Value* elements = nullptr;
    rapidjson::SizeType from = 0;
};

void Normalize(rapidjson::Value& value, const Skipped& skipped = {}) {
    if (value.IsDouble()) {
        double number = value.GetDouble();
        if (std::trunc(number) == number && number >= -kInt64Bound && number < kInt64Bound) {
            value.SetInt64(static_cast<int64_t>(number));
        }
    } else if (value.IsObject()) {
        if (value.MemberCount() > 1) {
            SortMembers(value);
        }
        for (auto& member : value.GetObject()) {
            Normalize(member.value, skipped);
        }
    } else if (value.IsArray()) {
        const rapidjson::SizeType end =
            skipped.elements != nullptr && value.Begin() == skipped.elements ? skipped.from
                                                                             : value.Size();
        for (rapidjson::SizeType i = 0; i < end; ++i) {
            Normalize(value[i], skipped);
        }
    }
}

const rapidjson::Value kNoMembers(rapidjson::kObjectType);

// An array of at least this many containers is put in normal form and written on two threads.
constexpr rapidjson::SizeType kElementsForSecondThread = 4096;

// The largest array of containers that objects hold, from value down (not inside arrays).
rapidjson::Value* LargestArray(rapidjson::Value& value) {
    if (value.IsArray()) {
        return !value.Empty() && (value[0].IsObject() || value[0].IsArray()) ? &value : nullptr;
    }
    rapidjson::Value* largest = nullptr;
    if (value.IsObject()) {
        for (auto& member : value.GetObject()) {
            rapidjson::Value* found = LargestArray(member.value);
            if (found && (!largest || found->Size() > largest->Size())) {
                largest = found;
            }
        }
    }
    return largest;
}

// The later half of one large array is put in normal form and written by a short-lived worker
// while the calling thread does the rest of the value; the calling thread takes the worker's
// text when its writing reaches those elements. The two never touch the same value: the worker
// has elements of its own, and the calling thread reorders members above them, which moves the
// array's handle, not its elements. The worker allocates nothing from the document.
class SecondHalfText {
public:
    // Starts the worker on elements[0, count).
    SecondHalfText(rapidjson::Value* elements, size_t count) : elements_(elements), count_(count) {
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // no thread to be had: the calling thread does these elements too
        }
    }
    ~SecondHalfText() {
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    SecondHalfText(const SecondHalfText&) = delete;
    SecondHalfText& operator=(const SecondHalfText&) = delete;

    bool Started() const { return worker_.joinable(); }

    // The worker's text; what it threw is thrown here, where writing its elements would have.
    const std::string& Text() {
        worker_.join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        return text_;
    }

private:
    void Run() {
        try {
            for (size_t i = 0; i < count_; ++i) {
                Normalize(elements_[i]);
            }
            TarnConfigStore::WriteJsonElements(elements_, count_, text_);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    rapidjson::Value* elements_;
    size_t count_;
    std::string text_;
    std::exception_ptr failure_;
    std::thread worker_;
};

}  // namespace

rapidjson::Document CreateDocument(const std::string& text) {
    rapidjson::Document document;
    TarnConfigStore::ParseStoreJson(text, document, "a configuration document");
    return document;
}

void SerializeValue(const rapidjson::Value& value, std::string& out) {
    TarnConfigStore::WriteJsonText(value, out);
}

bool ValueExists(const rapidjson::Value& value, const std::string& name) {
    return value.IsObject() && value.HasMember(name);
}

bool IsDocumentEmpty(const rapidjson::Value& value) {
    return value.IsNull() || (value.IsObject() && value.MemberCount() == 0) ||
           (value.IsArray() && value.Empty());
}

std::string RedactAndSerializeValue(const rapidjson::Value& definition,
                                    const rapidjson::Value& value) {
    if (!HasSecrets(value, definition)) {
        return TarnConfigStore::WriteJsonText(value);
    }
    TarnConfigStore::ScratchDocument scratch;
    rapidjson::Value copy = TarnConfigStore::CopyJsonValue(value, scratch.Get().GetAllocator());
    Redact(copy, definition);
    return TarnConfigStore::WriteJsonText(copy);
}

std::string NormalizeValue(const rapidjson::Value& value) {
    rapidjson::Document copy = TarnConfigStore::CopyJsonDocument(value);
    return NormalizeInPlace(copy);
}

std::string NormalizeInPlace(rapidjson::Value& value) {
    rapidjson::Value* array = LargestArray(value);
    if (array && array->Size() >= kElementsForSecondThread) {
        const rapidjson::SizeType from = array->Size() / 2;
        rapidjson::Value* elements = array->Begin();
        SecondHalfText second(elements + from, array->Size() - from);
        if (second.Started()) {
            Normalize(value, Skipped{elements, from});
            std::string text;
            TarnConfigStore::WriteJsonText(
                value,
                {elements, from, [&second]() -> const std::string& { return second.Text(); }},
                text);
            return text;
        }
    }
    Normalize(value);
    return TarnConfigStore::WriteJsonText(value);
}

void RenderNormalForm(rapidjson::Value& value, std::string& out) {
    Normalize(value);
    TarnConfigStore::WriteJsonText(value, out);
}

std::string NormalizeRenderedInPlace(rapidjson::Value& document) {
    Normalize(document);
    // Found after the members are sorted: sorting moves the values that hold the keys.
    TarnConfigStore::JsonTextValues rendered;
    const rapidjson::Value& profile = SchemaMember(document, "profile");
    auto members = [](const rapidjson::Value& value) {
        return value.IsObject() ? value.GetObject() : kNoMembers.GetObject();
    };
    for (const auto& component : members(profile)) {
        for (const auto& group : members(component.value)) {
            for (const auto& key : members(group.value)) {
                rendered.insert(&key.value);
            }
        }
    }
    std::string text;
    TarnConfigStore::WriteJsonText(document, rendered, text);
    return text;
}

std::string NormalizeHostId(const std::string& text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), blank);
    auto end =
        std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), blank).base();
    std::string id(begin, end);
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return id;
}

}  // namespace ConfigStoreDocument

namespace TarnConfigStore {

rapidjson::Document CreateDocumentFromFile(const std::string& path) {
    rapidjson::Document document;
    JsonParseError error;
    if (!ParseJsonFile(path.c_str(), document, &error)) {
        ThrowParseError("Cannot read a JSON document from " + path, error);
    }
    return document;
}

}  // namespace TarnConfigStore
