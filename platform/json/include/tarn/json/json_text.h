// The single parsing and writing path for every JSON text the host libraries read or write:
// caller documents, manifests, store rows, request and result files.
// Parsing stops at kMaxJsonDepth levels of nesting before it goes deeper (so deep input
// cannot overflow the stack), refuses texts above kMaxJsonBytes, validates UTF-8, rejects escapes
// that decode to lone surrogates and accepts exactly one value between optional blanks. Writing
// validates UTF-8 too, so whatever parsed writes out and reads back equal to itself. Reentrant; the
// only shared state is a C locale for number conversion, made once and never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/json/json_parse_error.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

// Deepest nesting of arrays and objects a text may have.
constexpr unsigned kMaxJsonDepth = 512;

// Largest text (in bytes) that is parsed at all; larger texts and files are refused before
// parsing, since a parsed document takes several times its text in memory. Set by the build
// (TARN_MAX_JSON_MB, in MiB).
extern const size_t kMaxJsonBytes;

// Parses text[0, length) into out (replacing its contents); text[length] must be readable
// (a std::string's data is). On failure returns false, fills
// error when given and leaves out as a null value.
bool ParseJsonText(const char* text, size_t length, rapidjson::Document& out,
                   JsonParseError* error = nullptr);
// The same into a value whose strings and containers come from allocator: a value parsed
// straight into the document that keeps it, without a copy. A failed parse may leave unused
// blocks in allocator.
bool ParseJsonText(const char* text, size_t length, rapidjson::Value& out,
                   rapidjson::MemoryPoolAllocator<>& allocator, JsonParseError* error = nullptr);
inline bool ParseJsonText(const std::string& text, rapidjson::Document& out,
                          JsonParseError* error = nullptr) {
    return ParseJsonText(text.c_str(), text.size(), out, error);
}

// Reads the whole file and parses it. A file that cannot be opened or read (a directory, say)
// fails with the reason and no place in the text.
bool ParseJsonFile(const char* path, rapidjson::Document& out, JsonParseError* error = nullptr);

// The offset of the first byte in s[0, n) that does not begin a well-formed UTF-8 sequence,
// n when there is none.
size_t FirstInvalidUtf8(const char* s, size_t n);

// Compact text of value. Throws ConfigStoreException 1082 when a string is not valid UTF-8
// or a number is not finite.
void WriteJsonText(const rapidjson::Value& value, std::string& out);
std::string WriteJsonText(const rapidjson::Value& value);
// What WriteJsonText writes, with the elements of one array of value from `from` on taken from
// text(), called when the writing reaches them: for writing one large array on two threads.
// The array is told by its elements (Begin()), which stay where they are when the value that
// holds them moves.
struct JsonTextSplice {
    const rapidjson::Value* elements = nullptr;
    rapidjson::SizeType from = 0;
    // The compact texts of those elements joined by commas, as WriteJsonElements writes them.
    std::function<const std::string&()> text;
};
void WriteJsonText(const rapidjson::Value& value, const JsonTextSplice& splice, std::string& out);
// Values whose strings are compact JSON texts of their own, written as they are instead of as
// strings: a string value in the set is one such text, and each element of an array value in
// the set is one (an element that is not a string is written as usual). For a document whose
// large parts were written to text earlier, while they were in cache, and kept as strings.
using JsonTextValues = std::unordered_set<const rapidjson::Value*>;
void WriteJsonText(const rapidjson::Value& value, const JsonTextValues& texts, std::string& out);
// The compact texts of elements[0, count) joined by commas (empty without elements). Same
// failures as WriteJsonText.
void WriteJsonElements(const rapidjson::Value* elements, size_t count, std::string& out);
// Appends s[0, n) to out as a quoted JSON string, escaped exactly as WriteJsonText escapes
// strings: for texts written piece by piece without a document around them. Throws
// ConfigStoreException 1082 (out left as it was) when s is not UTF-8.
void AppendJsonString(const char* s, size_t n, std::string& out);
inline void AppendJsonString(const std::string& s, std::string& out) {
    AppendJsonString(s.data(), s.size(), out);
}
// Indented text of value, for files people read. Same failures as WriteJsonText.
std::string WriteJsonPretty(const rapidjson::Value& value);
// WriteJsonPretty of the value that compact text (as WriteJsonText writes it) holds, and a
// newline (as a file or a terminal shows it), without building the value. Throws
// ConfigStoreException 1082 when text is not JSON, or for the failures of WriteJsonPretty.
std::string IndentJsonText(const std::string& text);

// A document for a small value that lives briefly (one row, one drift text): it allocates
// from a buffer inside the object, so on the stack, and goes to the heap only when that is
// full. A plain Document takes a fresh 64 KiB heap chunk for its first value, which for
// thousands of small texts costs more than parsing them. Not copyable or movable.
class ScratchDocument {
public:
    ScratchDocument() : pool_(buffer_, sizeof(buffer_)), document_(&pool_) {}
    ScratchDocument(const ScratchDocument&) = delete;
    ScratchDocument& operator=(const ScratchDocument&) = delete;

    rapidjson::Document& Get() { return document_; }

private:
    alignas(16) char buffer_[4096];
    rapidjson::MemoryPoolAllocator<> pool_;
    rapidjson::Document document_;
};

enum class Durability { kSynced, kTransient };

// Where a failed WriteFileAtomically stopped: the temporary file could not be created, or
// writing, flushing or renaming it failed (the temporary file is then removed).
enum class WriteStep { kCreate, kWrite };

// Writes text to path through a temporary file in the same folder and a rename, so readers
// see the old or the new file, never half of one. kSynced also flushes the file to disk
// before the rename and the folder after it (files that must survive a crash or a power cut);
// kTransient skips both for files that live for one exchange, like plugin requests and
// results. Returns false (errno set, *failedStep filled when given) on failure.
bool WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode = 0644,
                         Durability durability = Durability::kSynced,
                         WriteStep* failedStep = nullptr);

// Renames from to to (both in one file system) and flushes both folders, so the move
// survives a power cut (best effort). False (errno set) when the rename fails; the file then
// stays at from.
bool MoveFileDurably(const std::string& from, const std::string& to);

// Which file a path names now (device and inode), to tell whether the file or folder kept
// open or cached earlier is still the one at that path.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};

// False (errno set) when path cannot be looked at.
bool IdentifyFile(const char* path, FileIdentity& identity);

}  // namespace TarnConfigStore

TARN_PUBLIC_END
