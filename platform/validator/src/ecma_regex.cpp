#include "ecma_regex.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "regex_program.h"
#include "utf8.h"

namespace TarnValidator {
namespace {

// Patterns come from schemas, so the set is small; the bound only stops a caller that makes
// up patterns from data from growing the cache without end.
constexpr size_t kMaxCachedPatterns = 4096;

// A set of instruction indexes with constant-time insert, test and clear.
class StateSet {
public:
    void Reset(size_t size) {
        if (sparse_.size() < size) {
            sparse_.resize(size);
            dense_.resize(size);
        }
        count_ = 0;
    }
    void Clear() { count_ = 0; }
    bool Insert(uint32_t state) {
        uint32_t slot = sparse_[state];
        if (slot < count_ && dense_[slot] == state) {
            return false;
        }
        sparse_[state] = count_;
        dense_[count_++] = state;
        return true;
    }
    uint32_t size() const { return count_; }
    uint32_t operator[](uint32_t i) const { return dense_[i]; }

private:
    std::vector<uint32_t> sparse_;
    std::vector<uint32_t> dense_;
    uint32_t count_ = 0;
};

struct Scratch {
    StateSet current;
    StateSet next;
    std::vector<uint32_t> pending;
};

// Buffers per lookahead nesting level, kept per thread so matching does not allocate once
// they have grown to the largest program seen.
Scratch& ScratchAt(size_t level) {
    thread_local std::vector<std::unique_ptr<Scratch>> pool;
    while (pool.size() <= level) {
        pool.push_back(std::make_unique<Scratch>());
    }
    return *pool[level];
}

bool IsLineTerminator(char32_t cp) {
    return cp == '\n' || cp == '\r' || cp == 0x2028 || cp == 0x2029;
}

bool IsWordCharacter(char32_t cp) {
    return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') ||
           cp == '_';
}

// Runs the NFA of one code list over a subject. Each step keeps the set of live states, so
// time is O(subject length x program size) and the stack does not grow with the subject.
class NfaRun {
public:
    NfaRun(const RegexProgram& program, std::string_view subject)
        : program_(program), subject_(subject) {}

    // Whether code matches starting at start (anchored) or at any position from start on.
    bool Run(uint32_t codeIndex, size_t start, bool anchored, size_t level) {
        const std::vector<RegexInst>& code = program_.codes[codeIndex];
        Scratch& scratch = ScratchAt(level);
        scratch.current.Reset(code.size());
        scratch.next.Reset(code.size());
        StateSet* current = &scratch.current;
        StateSet* next = &scratch.next;
        bool onlyAtStart = anchored || (codeIndex == 0 && program_.anchoredAtStart);
        for (size_t pos = start;;) {
            if ((!onlyAtStart || pos == start) &&
                AddState(code, *current, 0, pos, scratch.pending, level)) {
                return true;
            }
            if (pos >= subject_.size() || (onlyAtStart && current->size() == 0)) {
                return false;
            }
            char32_t cp;
            size_t length = DecodeUtf8(subject_, pos, cp);
            next->Clear();
            for (uint32_t i = 0; i < current->size(); ++i) {
                uint32_t state = (*current)[i];
                if (Consumes(code[state], cp) &&
                    AddState(code, *next, state + 1, pos + length, scratch.pending, level)) {
                    return true;
                }
            }
            std::swap(current, next);
            pos += length;
        }
    }

private:
    bool Consumes(const RegexInst& inst, char32_t cp) const {
        switch (inst.op) {
            case RegexOp::kChar:
                return inst.a == cp;
            case RegexOp::kClass:
                return program_.classes[inst.a].Contains(cp);
            case RegexOp::kAny:
                return !IsLineTerminator(cp);
            default:
                return false;
        }
    }

    bool AtWordBoundary(size_t pos) const {
        char32_t before = 0;
        char32_t after = 0;
        if (pos > 0) {
            DecodeUtf8(subject_, PreviousCodePointStart(subject_, pos), before);
        }
        if (pos < subject_.size()) {
            DecodeUtf8(subject_, pos, after);
        }
        return IsWordCharacter(before) != IsWordCharacter(after);
    }

    // A lookahead's answer at a position does not depend on how the match got there, so it
    // is worked out once per position: otherwise every live state would rerun it, and each
    // level of nested lookaheads would multiply the time by the subject's length.
    bool LookaheadHolds(uint32_t index, size_t pos, size_t level) {
        if (known_.empty()) {
            known_.resize(program_.lookaheads.size());
        }
        std::vector<int8_t>& known = known_[index];
        if (known.empty()) {
            known.assign(subject_.size() + 1, -1);
        }
        if (known[pos] < 0) {
            const RegexLookahead& lookahead = program_.lookaheads[index];
            known[pos] = Run(lookahead.code, pos, true, level + 1) != lookahead.negated;
        }
        return known[pos] != 0;
    }

    // Adds state and every state reachable from it without consuming input (the epsilon
    // closure at pos). Returns true when the closure reaches the match state.
    bool AddState(const std::vector<RegexInst>& code, StateSet& set, uint32_t first, size_t pos,
                  std::vector<uint32_t>& pending, size_t level) {
        pending.clear();
        pending.push_back(first);
        while (!pending.empty()) {
            uint32_t state = pending.back();
            pending.pop_back();
            if (!set.Insert(state)) {
                continue;
            }
            const RegexInst& inst = code[state];
            bool proceed = false;
            switch (inst.op) {
                case RegexOp::kMatch:
                    return true;
                case RegexOp::kJump:
                    pending.push_back(inst.a);
                    break;
                case RegexOp::kSplit:
                    pending.push_back(inst.b);
                    pending.push_back(inst.a);
                    break;
                case RegexOp::kInputStart:
                    proceed = pos == 0;
                    break;
                case RegexOp::kInputEnd:
                    proceed = pos == subject_.size();
                    break;
                case RegexOp::kWordBoundary:
                case RegexOp::kNotWordBoundary:
                    proceed = AtWordBoundary(pos) == (inst.op == RegexOp::kWordBoundary);
                    break;
                case RegexOp::kLookahead:
                    proceed = LookaheadHolds(inst.a, pos, level);
                    break;
                default:
                    break;
            }
            if (proceed) {
                pending.push_back(state + 1);
            }
        }
        return false;
    }

    const RegexProgram& program_;
    std::string_view subject_;
    std::vector<std::vector<int8_t>> known_;  // per lookahead and position: -1 unknown, 0, 1
};

}  // namespace

EcmaRegex::EcmaRegex(std::string_view pattern) {
    auto program = std::make_unique<RegexProgram>();
    bool unsupported = false;
    if (CompileEcmaPattern(pattern, *program, unsupported, problem_)) {
        program_ = std::move(program);
    } else {
        status_ = unsupported ? Status::kUnsupported : Status::kSyntaxError;
    }
}

EcmaRegex::~EcmaRegex() = default;

bool EcmaRegex::Search(std::string_view subject) const {
    return program_ && NfaRun(*program_, subject).Run(0, 0, false, 0);
}

std::shared_ptr<const EcmaRegex> EcmaRegex::Get(std::string_view pattern) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const EcmaRegex>> cache;
    std::string key(pattern);
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto found = cache.find(key);
        if (found != cache.end()) {
            return found->second;
        }
    }
    auto compiled = std::make_shared<const EcmaRegex>(pattern);
    std::lock_guard<std::mutex> lock(mutex);
    if (cache.size() >= kMaxCachedPatterns) {
        cache.clear();  // holders keep their own references
    }
    return cache.emplace(std::move(key), std::move(compiled)).first->second;
}

}  // namespace TarnValidator
