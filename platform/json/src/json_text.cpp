#include "tarn/json/json_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <locale.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "pooled_document.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/fault_point.h"

namespace TarnConfigStore {

const size_t kMaxJsonBytes = static_cast<size_t>(TARN_MAX_JSON_MB) << 20;

void JsonAssertFailed(const char* expression, const char* file, int line) {
    std::string message =
        std::string("JSON error: \"") + file + "\" " + std::to_string(line) + " " + expression;
    throw ConfigStoreException(kStoreJsonError, message.c_str());
}

namespace {

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

// Converts the text of a JSON number the way rapidjson types numbers: integers to the
// smallest of int, unsigned, int64 and uint64 that holds them, everything else (and integers
// beyond 64 bits) to the correctly rounded double, independent of the process locale.
class NumberReader {
public:
    // s[0, n) is the number's text (not necessarily followed by a NUL).
    template <typename Handler>
    bool Read(const char* s, size_t n, Handler& doc) {
        bool negative = s[0] == '-';
        uint64_t magnitude = 0;
        bool overflow = false;
        for (size_t i = negative; i < n; ++i) {
            unsigned digit = static_cast<unsigned char>(s[i]) - '0';
            if (digit > 9) {
                return doc.Double(ToDouble(s, n));  // a fraction or an exponent
            }
            overflow = overflow || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                       __builtin_add_overflow(magnitude, digit, &magnitude);
        }
        if (!overflow) {
            if (!negative) {
                return magnitude <= UINT32_MAX ? doc.Uint(static_cast<unsigned>(magnitude))
                                               : doc.Uint64(magnitude);
            }
            if (magnitude <= kInt64MinMagnitude) {
                int64_t value =
                    magnitude == kInt64MinMagnitude ? INT64_MIN : -static_cast<int64_t>(magnitude);
                return value >= INT32_MIN ? doc.Int(static_cast<int>(value)) : doc.Int64(value);
            }
        }
        return doc.Double(ToDouble(s, n));  // beyond 64 bits
    }

private:
    static constexpr uint64_t kInt64MinMagnitude = static_cast<uint64_t>(INT64_MAX) + 1;

    // Made once for the process (and never freed): a parse of many small texts would
    // otherwise spend a good part of its time making and freeing a locale.
    static locale_t CLocale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        return c;
    }

    double ToDouble(const char* s, size_t n) const {
        char local[64];
        std::string heap;
        const char* text = local;
        if (n < sizeof(local)) {
            std::memcpy(local, s, n);
            local[n] = '\0';
        } else {
            heap.assign(s, n);
            text = heap.c_str();
        }
        return ToDouble(text);
    }

    // s is NUL-terminated.
    double ToDouble(const char* s) const {
        double fast;
        if (FastDouble(s, &fast)) {
            return fast;
        }
        locale_t c = CLocale();
        return c ? strtod_l(s, nullptr, c) : std::strtod(s, nullptr);
    }

    // Numbers with at most 15 significant digits and a decimal exponent within 22 are an
    // exact integer times or over an exact power of ten, so one IEEE operation rounds them
    // correctly; everything else goes to strtod.
    static bool FastDouble(const char* s, double* out) {
        static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        bool negative = *s == '-';
        s += negative;
        uint64_t mantissa = 0;
        int digits = 0;
        int exponent = 0;
        for (; *s >= '0' && *s <= '9'; ++s) {
            if (mantissa || *s != '0') {
                mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
                ++digits;
            }
        }
        if (*s == '.') {
            for (++s; *s >= '0' && *s <= '9'; ++s) {
                if (mantissa || *s != '0') {
                    mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
                    ++digits;
                }
                --exponent;
            }
        }
        if (digits > 15) {
            return false;
        }
        if (*s == 'e' || *s == 'E') {
            ++s;
            bool negativeExponent = *s == '-';
            s += (*s == '-' || *s == '+');
            int explicitExponent = 0;
            for (; *s >= '0' && *s <= '9'; ++s) {
                if (explicitExponent > 1000) {
                    return false;
                }
                explicitExponent = explicitExponent * 10 + (*s - '0');
            }
            exponent += negativeExponent ? -explicitExponent : explicitExponent;
        }
        if (*s != '\0' || exponent < -22 || exponent > 22) {
            return false;
        }
        double value = static_cast<double>(mantissa);
        value = exponent < 0 ? value / kPowers[-exponent] : value * kPowers[exponent];
        *out = negative ? -value : value;
        return true;
    }
};

// Length of the well-formed UTF-8 sequence that starts with the byte >= 0x80 at p, given
// available bytes from p on; 0 when it is not one (overlong, surrogate, above U+10FFFF, cut).
size_t Utf8SequenceLength(const unsigned char* p, size_t available) {
    unsigned char c = p[0];
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (length > available || p[1] < low || p[1] > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (p[k] < 0x80 || p[k] > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

// ASCII runs are skipped eight bytes at a time: configuration text is mostly ASCII.
size_t FirstInvalidUtf8(const char* s, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        size_t length = Utf8SequenceLength(p + i, n - i);
        if (length == 0) {
            return i;
        }
        i += length;
    }
    return n;
}

namespace {

bool IsValidUtf8(const char* s, size_t n) {
    return FirstInvalidUtf8(s, n) == n;
}

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

}  // namespace

namespace {

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

namespace {

// A failure with no place in the text: the file cannot be read, holds nothing at all, or is
// too large to be parsed.
bool FailWithoutPlace(JsonParseError* error, std::string reason, rapidjson::Value& out) {
    out.SetNull();
    if (error) {
        *error = JsonParseError{std::move(reason), 0, 0, 0};
    }
    return false;
}

bool FailTooLarge(JsonParseError* error, uint64_t size, rapidjson::Value& out) {
    std::string reason = "The text is " + std::to_string(size) + " bytes, more than the limit of " +
                         std::to_string(kMaxJsonBytes) + " bytes (" +
                         std::to_string(kMaxJsonBytes >> 20) + " MiB).";
    return FailWithoutPlace(error, std::move(reason), out);
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
    // The first try parses in place, so it works on a scratch copy of the text (on the stack
    // when the text is short, as most are).
    char local[1024];
    std::string heap;
    char* scratch = local;
    if (length < sizeof(local)) {
        std::memcpy(local, text, length + 1);
    } else {
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

namespace {

std::string SystemReason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno) + ".";
}

}  // namespace

bool ParseJsonFile(const char* path, rapidjson::Document& out, JsonParseError* error) {
    int fd = FaultableOpen(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return FailWithoutPlace(error, SystemReason("The file cannot be opened"), out);
    }
    std::string text;
    struct stat info;
    if (fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            close(fd);
            return FailWithoutPlace(error, "The path names a folder, not a file.", out);
        }
        if (static_cast<uint64_t>(info.st_size) > kMaxJsonBytes) {
            close(fd);
            return FailTooLarge(error, static_cast<uint64_t>(info.st_size), out);
        }
        text.reserve(static_cast<size_t>(std::max<off_t>(info.st_size, 0)));
    }
    char chunk[65536];
    ssize_t count;
    while ((count = read(fd, chunk, sizeof(chunk))) != 0) {
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            std::string reason = SystemReason("The file cannot be read");
            close(fd);
            return FailWithoutPlace(error, std::move(reason), out);
        }
        text.append(chunk, static_cast<size_t>(count));
        if (text.size() > kMaxJsonBytes) {  // a file that grows, or a pipe
            close(fd);
            return FailTooLarge(error, text.size(), out);
        }
    }
    close(fd);
    if (text.empty()) {
        return FailWithoutPlace(error, "The file is empty.", out);
    }
    return ParseJsonText(text, out, error);
}

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

    // The text written, without the comma after the root value.
    void Finish(std::string& out) const { out.assign(data_, used_ - 1); }

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
        static const char kHex[] = "0123456789ABCDEF";
        const auto* p = reinterpret_cast<const unsigned char*>(s);
        char* at = Room(2 + 6 * n);  // every byte may become \u00XX
        *at++ = '"';
        for (size_t i = 0; i < n;) {
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
        *at++ = '"';
        Commit(at);
        return true;
    }

    char local_[512];
    char* heap_ = nullptr;
    char* data_ = local_;
    size_t capacity_ = sizeof(local_);
    size_t used_ = 0;
};

// Checks every string and name before the writer sees it; the writer itself refuses numbers
// that are not finite.
class CheckingPrettyWriter {
public:
    explicit CheckingPrettyWriter(rapidjson::StringBuffer& buffer) : writer_(buffer, nullptr, 32) {}

    bool Null() { return writer_.Null(); }
    bool Bool(bool b) { return writer_.Bool(b); }
    bool Int(int i) { return writer_.Int(i); }
    bool Uint(unsigned u) { return writer_.Uint(u); }
    bool Int64(int64_t i) { return writer_.Int64(i); }
    bool Uint64(uint64_t u) { return writer_.Uint64(u); }
    bool Double(double d) { return writer_.Double(d); }
    bool RawNumber(const char* s, rapidjson::SizeType n, bool copy) {
        return writer_.RawNumber(s, n, copy);
    }
    bool String(const char* s, rapidjson::SizeType n, bool copy) {
        return IsValidUtf8(s, n) && writer_.String(s, n, copy);
    }
    bool Key(const char* s, rapidjson::SizeType n, bool copy) {
        return IsValidUtf8(s, n) && writer_.Key(s, n, copy);
    }
    bool StartObject() { return writer_.StartObject(); }
    bool EndObject(rapidjson::SizeType n) { return writer_.EndObject(n); }
    bool StartArray() { return writer_.StartArray(); }
    bool EndArray(rapidjson::SizeType n) { return writer_.EndArray(n); }

private:
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer_;
};

[[noreturn]] void ThrowUnwritable() {
    throw ConfigStoreException(kStoreJsonError,
                               "JSON error: value holds text that is not UTF-8 or a "
                               "number that is not finite");
}

}  // namespace

void WriteJsonText(const rapidjson::Value& value, std::string& out) {
    CompactTextWriter writer;
    if (!value.Accept(writer)) {
        ThrowUnwritable();
    }
    writer.Finish(out);
}

std::string WriteJsonText(const rapidjson::Value& value) {
    std::string out;
    WriteJsonText(value, out);
    return out;
}

std::string WriteJsonPretty(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    CheckingPrettyWriter writer(buffer);
    if (!value.Accept(writer)) {
        ThrowUnwritable();
    }
    return std::string(buffer.GetString(), buffer.GetSize());
}

namespace {

// Makes a rename in path's folder survive a power cut, not only a crash of the process.
bool SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    int fd = FaultableOpen(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = FaultableFsync(fd) == 0;
    close(fd);
    return ok;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode,
                         Durability durability, WriteStep* failedStep) {
    std::string temp = path + ".tmpXXXXXX";
    int fd = FaultableMkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        if (failedStep) {
            *failedStep = WriteStep::kCreate;
        }
        return false;
    }
    bool ok = fchmod(fd, mode) == 0;
    size_t written = 0;
    while (ok && written < text.size()) {
        ssize_t n = FaultableWrite(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += ok ? static_cast<size_t>(n) : 0;
    }
    bool synced = durability == Durability::kSynced;
    ok = ok && (!synced || FaultableFsync(fd) == 0);
    int saved = errno;
    ok = (close(fd) == 0) && ok;
    if (synced) {
        FaultPoint();
    }
    if (ok && FaultableRename(temp.c_str(), path.c_str()) == 0 && (!synced || SyncFolderOf(path))) {
        if (synced) {
            FaultPoint();
        }
        return true;
    }
    saved = errno ? errno : saved;
    unlink(temp.c_str());
    if (failedStep) {
        *failedStep = WriteStep::kWrite;
    }
    errno = saved;
    return false;
}

bool MoveFileDurably(const std::string& from, const std::string& to) {
    FaultPoint();
    if (FaultableRename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    // The move is done; flushing the folders only guards it against a power cut.
    SyncFolderOf(to);
    SyncFolderOf(from);
    FaultPoint();
    return true;
}

}  // namespace TarnConfigStore
