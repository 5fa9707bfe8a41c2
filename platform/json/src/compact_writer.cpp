#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "json_errors.h"
#include "tarn/json/json_text.h"
#include "utf8.h"

namespace TarnConfigStore {

namespace {

// For each byte of a string being written: 0 when it is written as is, the letter after the
// backslash when it is escaped, 1 for the first byte of a multi-byte sequence.
struct EscapeTable {
    unsigned char byte[256];
    constexpr EscapeTable() : byte() {
        for (int c = 0; c < 0x20; ++c) {
            byte[c] = 'u';
        }
        // Pairs of a byte and the letter of its short escape.
        const char* shortEscapes = "\bb\tt\nn\ff\rr\"\"\\\\";
        for (const char* pair = shortEscapes; *pair; pair += 2) {
            byte[static_cast<unsigned char>(pair[0])] = static_cast<unsigned char>(pair[1]);
        }
        for (int c = 0x80; c < 0x100; ++c) {
            byte[c] = 1;
        }
    }
};
constexpr EscapeTable kEscapes;

// Whether any of the 8 bytes in word is not written as it is: a control byte, a quote, a
// backslash or a byte of a multi-byte sequence. Each test is exact about whether the word holds
// such a byte (not about which one).
bool NeedsCare(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    auto below = [](uint64_t v, uint64_t n) { return ((v - kOnes * n) & ~v & kHigh) != 0; };
    return below(word, 0x20) || below(word ^ (kOnes * '"'), 1) || below(word ^ (kOnes * '\\'), 1) ||
           (word & kHigh) != 0;
}

// Writes the bytes of p[i, stop) (and the rest of a sequence that begins before stop) at at,
// escaped, one at a time; n is where the string ends. Moves i and at past what it wrote; false
// when the bytes are not UTF-8.
bool WriteEscaped(const unsigned char* p, size_t n, size_t stop, size_t& i, char*& at) {
    static const char kHex[] = "0123456789ABCDEF";
    while (i < stop) {
        unsigned char c = p[i];
        unsigned char escape = kEscapes.byte[c];
        if (escape == 0) {
            *at++ = static_cast<char>(c);
            ++i;
        } else if (c >= 0x80) {
            size_t length = Utf8SequenceLength(p + i, n - i);
            if (length == 0) {
                return false;
            }
            std::memcpy(at, p + i, length);
            at += length;
            i += length;
        } else {
            *at++ = '\\';
            *at++ = static_cast<char>(escape);
            if (escape == 'u') {
                *at++ = '0';
                *at++ = '0';
                *at++ = kHex[c >> 4];
                *at++ = kHex[c & 0xF];
            }
            ++i;
        }
    }
    return true;
}

// The room WriteQuoted needs for a string of n bytes: both quotes, every byte as \u00XX, and
// one word of slack for the last bytes, which go out as a whole word.
constexpr size_t QuotedRoom(size_t n) {
    return 2 + 6 * n + sizeof(uint64_t);
}

// Writes the last n - i bytes of s[0, n) (fewer than 8) as one word when none of them needs
// escaping, which is most text: the word is s's last 8 bytes when s has that many (those before
// i are clean, so they went out as they are and are written again alike), else the bytes padded
// with blanks. Returns whether it wrote them.
bool WriteLastWord(const unsigned char* p, size_t n, size_t& i, char*& at) {
    constexpr uint64_t kBlanks = 0x2020202020202020ULL;
    const size_t left = n - i;
    uint64_t word = kBlanks;
    if (n >= sizeof word) {
        std::memcpy(&word, p + n - sizeof word, sizeof word);
    } else {
        std::memcpy(&word, p + i, left);
    }
    if (NeedsCare(word)) {
        return false;
    }
    char* start = n >= sizeof word ? at + left - sizeof word : at;
    std::memcpy(start, &word, sizeof word);
    at += left;
    i = n;
    return true;
}

// Writes s[0, n) quoted and escaped at at, which has room for QuotedRoom(n) bytes. Returns the
// end of what it wrote, nullptr when s is not UTF-8. Bytes go 8 at a time while none of the 8
// needs escaping or checking, which is most text.
char* WriteQuoted(const char* s, size_t n, char* at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    *at++ = '"';
    size_t i = 0;
    for (uint64_t word; n - i >= sizeof word;) {
        std::memcpy(&word, p + i, sizeof word);
        if (NeedsCare(word)) {
            if (!WriteEscaped(p, n, i + sizeof word, i, at)) {
                return nullptr;
            }
            continue;
        }
        std::memcpy(at, &word, sizeof word);
        at += sizeof word;
        i += sizeof word;
    }
    if (i < n && !WriteLastWord(p, n, i, at) && !WriteEscaped(p, n, n, i, at)) {
        return nullptr;
    }
    *at++ = '"';
    return at;
}

// Writes compact text straight into a string, byte for byte what rapidjson's Writer with its
// default flags writes, and checks UTF-8 in the same pass over each string. Separators need
// no nesting stack: every value and every member is followed by a comma, and closing a
// container replaces the comma after its last element.
class CompactTextWriter {
public:
    CompactTextWriter() = default;
    CompactTextWriter(const CompactTextWriter&) = delete;
    CompactTextWriter& operator=(const CompactTextWriter&) = delete;
    ~CompactTextWriter() { std::free(heap_); }

    bool Null() { return Literal("null", 4); }
    bool Bool(bool b) { return b ? Literal("true", 4) : Literal("false", 5); }
    // Room for the longest number text (a double takes at most 25 bytes) and its comma.
    bool Int(int i) { return Number(rapidjson::internal::i32toa(i, Room(kNumberRoom))); }
    bool Uint(unsigned u) { return Number(rapidjson::internal::u32toa(u, Room(kNumberRoom))); }
    bool Int64(int64_t i) { return Number(rapidjson::internal::i64toa(i, Room(kNumberRoom))); }
    bool Uint64(uint64_t u) { return Number(rapidjson::internal::u64toa(u, Room(kNumberRoom))); }
    bool Double(double d) {
        if (!std::isfinite(d)) {
            return false;
        }
        return Number(rapidjson::internal::dtoa(d, Room(kNumberRoom), kMaxDecimalPlaces));
    }
    bool String(const char* s, rapidjson::SizeType n, bool) { return Quoted(s, n) && Put(','); }
    bool Key(const char* s, rapidjson::SizeType n, bool) { return Quoted(s, n) && Put(':'); }
    bool StartObject() { return Put('{'); }
    bool EndObject(rapidjson::SizeType) { return Close('}'); }
    bool StartArray() { return Put('['); }
    bool EndArray(rapidjson::SizeType) { return Close(']'); }

    // Text written elsewhere, as a value or values of the container being written.
    bool Raw(const char* text, size_t length) {
        if (length != 0) {
            char* at = Room(length + 1);
            std::memcpy(at, text, length);
            at[length] = ',';
            Commit(at + length + 1);
        }
        return true;
    }
    bool Raw(const std::string& text) { return Raw(text.data(), text.size()); }

    // Room for n more bytes at once, for a writer that knows how much text is coming: the
    // buffer then does not grow, and copy what it holds, step by step.
    void Reserve(size_t n) { Room(n); }

    // The text written, without the comma after the last value.
    void Finish(std::string& out) const {
        if (used_ == 0) {
            out.clear();
        } else {
            out.assign(data_, used_ - 1);
        }
    }

private:
    // rapidjson's default: as many decimals as the shortest exact representation needs.
    static constexpr int kMaxDecimalPlaces = 324;
    static constexpr size_t kNumberRoom = 32;

    // Makes room for n more bytes and returns where they go; Commit marks them written.
    char* Room(size_t n) {
        if (capacity_ - used_ < n) {
            Grow(n);
        }
        return data_ + used_;
    }
    void Commit(const char* end) { used_ = static_cast<size_t>(end - data_); }

    // Text starts in the buffer inside the writer (most values are short) and moves to the
    // heap when it outgrows it.
    void Grow(size_t n) {
        size_t capacity = std::max(capacity_ * 2, used_ + n);
        char* grown =
            static_cast<char*>(heap_ ? std::realloc(heap_, capacity) : std::malloc(capacity));
        if (!grown) {
            throw std::bad_alloc();
        }
        if (!heap_) {
            std::memcpy(grown, local_, used_);
        }
        heap_ = data_ = grown;
        capacity_ = capacity;
    }

    bool Put(char c) {
        *Room(1) = c;
        ++used_;
        return true;
    }
    bool Literal(const char* text, size_t n) {
        char* at = Room(n + 1);
        std::memcpy(at, text, n);
        at[n] = ',';
        Commit(at + n + 1);
        return true;
    }
    // end is where a number conversion into Room(kNumberRoom) stopped.
    bool Number(char* end) {
        *end = ',';
        Commit(end + 1);
        return true;
    }
    bool Close(char bracket) {
        if (data_[used_ - 1] == ',') {
            --used_;
        }
        Put(bracket);
        return Put(',');
    }

    // Writes s[0, n) as a quoted JSON string; false when it is not UTF-8.
    bool Quoted(const char* s, size_t n) {
        char* end = WriteQuoted(s, n, Room(QuotedRoom(n)));
        if (!end) {
            return false;
        }
        Commit(end);
        return true;
    }

    char local_[512];
    char* heap_ = nullptr;
    char* data_ = local_;
    size_t capacity_ = sizeof(local_);
    size_t used_ = 0;
};

// Writes the object's members, each value by writeValue.
template <typename WriteValue>
bool WriteMembers(const rapidjson::Value& object, CompactTextWriter& writer,
                  const WriteValue& writeValue) {
    writer.StartObject();
    for (const auto& member : object.GetObject()) {
        if (!writer.Key(member.name.GetString(), member.name.GetStringLength(), false) ||
            !writeValue(member.value)) {
            return false;
        }
    }
    return writer.EndObject(object.MemberCount());
}

// Writes value as Accept would, with the splice's elements of its array given by its text.
bool WriteSpliced(const rapidjson::Value& value, const JsonTextSplice& splice,
                  CompactTextWriter& writer) {
    if (value.IsObject()) {
        return WriteMembers(value, writer, [&splice, &writer](const rapidjson::Value& member) {
            return WriteSpliced(member, splice, writer);
        });
    }
    if (!value.IsArray()) {
        return value.Accept(writer);
    }
    const bool spliced = splice.elements != nullptr && value.Begin() == splice.elements;
    const rapidjson::SizeType end = spliced ? splice.from : value.Size();
    writer.StartArray();
    for (rapidjson::SizeType i = 0; i < end; ++i) {
        if (!WriteSpliced(value[i], splice, writer)) {
            return false;
        }
    }
    if (spliced) {
        writer.Raw(splice.text());
    }
    return writer.EndArray(value.Size());
}

// Writes value as Accept would, with the strings that texts names written as they are.
bool WriteWithTexts(const rapidjson::Value& value, const JsonTextValues& texts,
                    CompactTextWriter& writer) {
    const bool text = texts.count(&value) != 0;
    if (text && value.IsString()) {
        return writer.Raw(value.GetString(), value.GetStringLength());
    }
    if (value.IsObject()) {
        return WriteMembers(value, writer, [&texts, &writer](const rapidjson::Value& member) {
            return WriteWithTexts(member, texts, writer);
        });
    }
    if (!value.IsArray()) {
        return value.Accept(writer);
    }
    writer.StartArray();
    for (const auto& element : value.GetArray()) {
        if (text && element.IsString() ? !writer.Raw(element.GetString(), element.GetStringLength())
                                       : !WriteWithTexts(element, texts, writer)) {
            return false;
        }
    }
    return writer.EndArray(value.Size());
}

// The bytes the texts take with a comma after each: most of the text of a document whose
// large parts are such texts.
size_t TextBytes(const JsonTextValues& texts) {
    size_t bytes = 0;
    for (const rapidjson::Value* value : texts) {
        if (value->IsString()) {
            bytes += value->GetStringLength() + 1;
        } else if (value->IsArray()) {
            for (const auto& element : value->GetArray()) {
                bytes += element.IsString() ? element.GetStringLength() + 1 : 0;
            }
        }
    }
    return bytes;
}

}  // namespace

void WriteJsonText(const rapidjson::Value& value, const JsonTextValues& texts, std::string& out) {
    constexpr size_t kOtherBytes = 64 * 1024;  // names and values around the texts, mostly
    CompactTextWriter writer;
    writer.Reserve(TextBytes(texts) + kOtherBytes);
    if (!WriteWithTexts(value, texts, writer)) {
        ThrowUnwritable();
    }
    writer.Finish(out);
}

void WriteJsonText(const rapidjson::Value& value, const JsonTextSplice& splice, std::string& out) {
    CompactTextWriter writer;
    if (!WriteSpliced(value, splice, writer)) {
        ThrowUnwritable();
    }
    writer.Finish(out);
}

void WriteJsonElements(const rapidjson::Value* elements, size_t count, std::string& out) {
    CompactTextWriter writer;
    for (size_t i = 0; i < count; ++i) {
        if (!elements[i].Accept(writer)) {
            ThrowUnwritable();
        }
    }
    writer.Finish(out);
}

void WriteJsonText(const rapidjson::Value& value, std::string& out) {
    CompactTextWriter writer;
    if (!value.Accept(writer)) {
        ThrowUnwritable();
    }
    writer.Finish(out);
}

void AppendJsonString(const char* s, size_t n, std::string& out) {
    const size_t used = out.size();
    out.resize(used + QuotedRoom(n));
    char* end = WriteQuoted(s, n, &out[used]);
    if (!end) {
        out.resize(used);
        ThrowUnwritable();
    }
    out.resize(static_cast<size_t>(end - out.data()));
}

std::string WriteJsonText(const rapidjson::Value& value) {
    std::string out;
    WriteJsonText(value, out);
    return out;
}

}  // namespace TarnConfigStore
