#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "json_errors.h"
#include "kept_text.h"
#include "number_reader.h"
#include "pooled_document.h"
#include "tarn/json/json_text.h"
#include "utf8.h"

namespace TarnConfigStore {

const size_t kMaxJsonBytes = static_cast<size_t>(TARN_MAX_JSON_MB) << 20;

namespace {

struct ParseScratch;  // the place of the scratch copy's kept buffer

// UTF-8 is checked over the whole text before parsing rather than by rapidjson, whose
// validator reads past the end of a text that stops inside a multi-byte sequence. Outside
// strings JSON is ASCII, so checking everything refuses exactly what rapidjson would.
// Numbers arrive as text and are converted here (see NumberReader): this rapidjson's own
// full-precision conversion reads out of bounds on long fractions.
constexpr unsigned kParseFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
// The recursive reader accepts the same texts and builds the same values, faster, but words
// some errors differently: text goes through it first, and only text it refuses goes through
// the iterative reader, whose result (and error) counts. Its recursion stops at the nesting
// limit, which the handler enforces before each level is entered. It parses in place, in a
// scratch copy of the text, which spares pushing every string through its stack.
constexpr unsigned kFirstTryFlags =
    rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;

// A \uDC00-style escape that is not part of a pair decodes to the three bytes ED A0..BF xx,
// which is not UTF-8: such text could never be written back, so it is refused at the door.
bool HasLoneSurrogate(const char* s, rapidjson::SizeType length) {
    for (rapidjson::SizeType i = 0; i + 1 < length; ++i) {
        if (static_cast<unsigned char>(s[i]) == 0xED &&
            static_cast<unsigned char>(s[i + 1]) >= 0xA0) {
            return true;
        }
    }
    return false;
}

// Forwards the reader's events to the document while counting nesting depth and checking
// strings; returning false stops the reader with kParseErrorTermination.
class CheckingHandler {
public:
    // hasEscapes: whether the text holds a backslash; without one no string can carry a
    // decoded surrogate (raw surrogate bytes fail the UTF-8 check before parsing).
    CheckingHandler(PooledDocument& doc, bool hasEscapes) : doc_(doc), hasEscapes_(hasEscapes) {}

    bool Null() { return doc_.Null(); }
    bool Bool(bool b) { return doc_.Bool(b); }
    bool Int(int i) { return doc_.Int(i); }
    bool Uint(unsigned u) { return doc_.Uint(u); }
    bool Int64(int64_t i) { return doc_.Int64(i); }
    bool Uint64(uint64_t u) { return doc_.Uint64(u); }
    bool Double(double d) {
        // rapidjson turns some exponents far below the double range into infinities or NaN
        // instead of zero; such a number could not be written back.
        if (!std::isfinite(d)) {
            failure_ = "A number is outside the range of a double.";
            return false;
        }
        return doc_.Double(d);
    }
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
        return numbers_.Read(s, n, *this);
    }
    // Strings are always copied into the document: a text parsed in place is a scratch copy.
    bool String(const char* s, rapidjson::SizeType n, bool) {
        return CheckString(s, n) && doc_.String(s, n, true);
    }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        return CheckString(s, n) && doc_.Key(s, n, true);
    }
    bool StartObject() { return Enter() && doc_.StartObject(); }
    bool EndObject(rapidjson::SizeType n) {
        --depth_;
        return doc_.EndObject(n);
    }
    bool StartArray() { return Enter() && doc_.StartArray(); }
    bool EndArray(rapidjson::SizeType n) {
        --depth_;
        return doc_.EndArray(n);
    }

    const char* failure() const { return failure_; }

private:
    bool Enter() {
        if (++depth_ > kMaxJsonDepth) {
            failure_ = "Nesting is deeper than the limit of 512 levels.";
            return false;
        }
        return true;
    }
    bool CheckString(const char* s, rapidjson::SizeType n) {
        if (hasEscapes_ && HasLoneSurrogate(s, n)) {
            failure_ = "A \\u escape names a lone surrogate.";
            return false;
        }
        return true;
    }

    PooledDocument& doc_;
    bool hasEscapes_;
    NumberReader numbers_;
    unsigned depth_ = 0;
    const char* failure_ = nullptr;
};

void Fail(JsonParseError* error, const char* message, size_t offset) {
    if (error) {
        error->message = message;
        error->offset = offset;
    }
}

// Sets the line and column of error->offset in text[0, length): lines end at '\n', and a
// column counts the bytes that start a character (all but UTF-8 continuation bytes).
void Locate(const char* text, size_t length, JsonParseError* error) {
    if (!error || length == 0) {
        return;
    }
    size_t end = std::min(error->offset, length);
    error->line = 1;
    error->column = 1;
    for (size_t i = 0; i < end; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++error->line;
            error->column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++error->column;
        }
    }
}

// One parse of text[0, length) into out (replaced only on success); on failure fills error
// when given.
template <unsigned Flags, typename Text>
bool ParseWith(Text* text, size_t length, bool hasEscapes, rapidjson::Value& out,
               rapidjson::MemoryPoolAllocator<>& allocator, JsonParseError* error) {
    using Stream = std::conditional_t<(Flags & rapidjson::kParseInsituFlag) != 0,
                                      rapidjson::InsituStringStream, rapidjson::StringStream>;
    // The reader's and the document's working stacks start on this frame; a large text
    // spills into heap chunks of the pool. The values go to out's allocator.
    alignas(16) char stackBuffer[kStackBufferSize];
    StackPool stackPool(stackBuffer, sizeof(stackBuffer));
    PooledReader reader(&stackPool);
    PooledDocument parsed(&allocator, kDocumentStackCapacity, &stackPool);
    Stream stream(text);
    CheckingHandler handler(parsed, hasEscapes);
    rapidjson::ParseResult result;
    auto generate = [&](PooledDocument&) {
        result = reader.Parse<Flags>(stream, handler);
        return !result.IsError() && stream.Tell() == length;
    };
    parsed.Populate(generate);
    if (!result.IsError() && stream.Tell() == length) {
        out.Swap(parsed);
        return true;
    }
    if (handler.failure()) {
        Fail(error, handler.failure(), result.Offset());
    } else if (result.IsError()) {
        Fail(error, rapidjson::GetParseError_En(result.Code()), result.Offset());
    } else {
        Fail(error, "The document root must not be followed by other values.", stream.Tell());
    }
    return false;
}

}  // namespace

bool ParseJsonText(const char* text, size_t length, rapidjson::Document& out,
                   JsonParseError* error) {
    return ParseJsonText(text, length, out, out.GetAllocator(), error);
}

bool ParseJsonText(const char* text, size_t length, rapidjson::Value& out,
                   rapidjson::MemoryPoolAllocator<>& allocator, JsonParseError* error) {
    if (length > kMaxJsonBytes) {
        return FailTooLarge(error, length, out);
    }
    // The reader treats a NUL as the end of input; the length check in ParseWith refuses
    // text that carries anything (even a NUL) after the one value.
    std::string owned;
    if (text[length] != '\0') {
        owned.assign(text, length);
        text = owned.c_str();
    }
    size_t invalid = FirstInvalidUtf8(text, length);
    if (invalid != length) {
        out.SetNull();
        Fail(error, rapidjson::GetParseError_En(rapidjson::kParseErrorStringInvalidEncoding),
             invalid);
        Locate(text, length, error);
        return false;
    }
    bool hasEscapes = std::memchr(text, '\\', length) != nullptr;
    // The first try parses in place, so it works on a scratch copy of the text: on the stack
    // when the text is short, as most are, else in a buffer the thread keeps for the next.
    char local[1024];
    std::optional<KeptText<ParseScratch>> kept;
    char* scratch = local;
    if (length < sizeof(local)) {
        std::memcpy(local, text, length + 1);
    } else {
        std::string& heap = kept.emplace().Get();
        heap.assign(text, length);
        scratch = &heap[0];
    }
    if (ParseWith<kFirstTryFlags>(scratch, length, hasEscapes, out, allocator, nullptr) ||
        ParseWith<kParseFlags>(text, length, hasEscapes, out, allocator, error)) {
        return true;
    }
    out.SetNull();
    Locate(text, length, error);
    return false;
}

}  // namespace TarnConfigStore
