// Parses ECMAScript pattern syntax into a small syntax tree and emits Thompson NFA code.
// The syntax is the strict (Unicode-mode) reading of the grammar, with the common legacy
// allowances that real schemas use: a lone "]", "{" or "}" is a literal, and a class escape
// such as \w may sit next to "-" in a class.
#include <algorithm>
#include <limits>

#include "regex_program.h"
#include "utf8.h"

namespace TarnValidator {
namespace {

constexpr int kUnbounded = -1;
constexpr int kMaxGroupNesting = 64;
constexpr size_t kMaxInstructions = 20000;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

using Ranges = std::vector<std::pair<char32_t, char32_t>>;

struct SyntaxNode {
    enum Kind {
        kEmpty,
        kChar,
        kClass,
        kAny,
        kInputStart,
        kInputEnd,
        kWordBoundary,
        kNotWordBoundary,
        kLookahead,
        kConcat,
        kAlternation,
        kRepeat,
    };
    Kind kind = kEmpty;
    uint32_t value = 0;  // code point or class index
    bool negated = false;
    int min = 0;
    int max = 0;
    std::vector<int> children;
};

void Normalize(Ranges& ranges) {
    std::sort(ranges.begin(), ranges.end());
    Ranges merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    ranges.swap(merged);
}

Ranges Complement(Ranges ranges) {
    Normalize(ranges);
    Ranges out;
    char32_t next = 0;
    for (const auto& range : ranges) {
        if (range.first > next) {
            out.emplace_back(next, range.first - 1);
        }
        next = range.second + 1;
    }
    if (next <= kMaxCodePoint) {
        out.emplace_back(next, kMaxCodePoint);
    }
    return out;
}

// The ranges of \d, \w or \s (lower case), or of their complements (upper case).
Ranges ClassEscapeRanges(char32_t letter) {
    Ranges ranges;
    switch (letter | 0x20) {
        case 'd':
            ranges = {{'0', '9'}};
            break;
        case 'w':
            ranges = {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}};
            break;
        default:  // 's': white space and line terminators
            ranges = {{0x09, 0x0D},     {0x20, 0x20},     {0xA0, 0xA0},     {0x1680, 0x1680},
                      {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F},
                      {0x3000, 0x3000}, {0xFEFF, 0xFEFF}};
            break;
    }
    return (letter & 0x20) ? ranges : Complement(ranges);
}

bool IsClassEscapeLetter(char32_t c) {
    return c == 'd' || c == 'D' || c == 'w' || c == 'W' || c == 's' || c == 'S';
}

bool IsAsciiAlphanumeric(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    c |= 0x20;
    return (c >= 'a' && c <= 'f') ? static_cast<int>(c - 'a' + 10) : -1;
}

class PatternParser {
public:
    PatternParser(std::u32string text, RegexProgram& program)
        : text_(std::move(text)), program_(program) {}

    // Parses the whole pattern; returns the root node or -1 (see failure()).
    int ParseAll() {
        int root = ParseDisjunction();
        if (root >= 0 && !AtEnd()) {
            return Fail("unmatched ')'");
        }
        return root;
    }

    const std::vector<SyntaxNode>& nodes() const { return nodes_; }
    bool unsupported() const { return unsupported_; }
    const std::string& problem() const { return problem_; }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char32_t Peek(size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : 0;
    }
    bool Accept(char32_t c) {
        if (!AtEnd() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    int Fail(const char* why) {
        if (problem_.empty()) {
            problem_ = why;
        }
        return -1;
    }
    int Unsupported(const char* why) {
        unsupported_ = true;
        return Fail(why);
    }

    int Add(SyntaxNode node) {
        nodes_.push_back(std::move(node));
        return static_cast<int>(nodes_.size() - 1);
    }
    int AddLeaf(SyntaxNode::Kind kind, uint32_t value = 0) {
        SyntaxNode node;
        node.kind = kind;
        node.value = value;
        return Add(std::move(node));
    }
    int AddClass(Ranges ranges, bool negated) {
        Normalize(ranges);
        program_.classes.push_back(RegexClass{std::move(ranges), negated});
        return AddLeaf(SyntaxNode::kClass, static_cast<uint32_t>(program_.classes.size() - 1));
    }
    int AddList(SyntaxNode::Kind kind, std::vector<int> children) {
        if (children.size() == 1) {
            return children[0];
        }
        SyntaxNode node;
        node.kind = children.empty() ? SyntaxNode::kEmpty : kind;
        node.children = std::move(children);
        return Add(std::move(node));
    }

    int ParseDisjunction() {
        std::vector<int> alternatives;
        do {
            int alternative = ParseAlternative();
            if (alternative < 0) {
                return -1;
            }
            alternatives.push_back(alternative);
        } while (Accept('|'));
        return AddList(SyntaxNode::kAlternation, std::move(alternatives));
    }

    int ParseAlternative() {
        std::vector<int> terms;
        while (!AtEnd() && Peek() != '|' && Peek() != ')') {
            int term = ParseTerm();
            if (term < 0) {
                return -1;
            }
            terms.push_back(term);
        }
        return AddList(SyntaxNode::kConcat, std::move(terms));
    }

    int ParseTerm() {
        if (Accept('^')) {
            return AddLeaf(SyntaxNode::kInputStart);
        }
        if (Accept('$')) {
            return AddLeaf(SyntaxNode::kInputEnd);
        }
        if (Peek() == '\\' && (Peek(1) == 'b' || Peek(1) == 'B')) {
            pos_ += 2;
            return AddLeaf(text_[pos_ - 1] == 'b' ? SyntaxNode::kWordBoundary
                                                  : SyntaxNode::kNotWordBoundary);
        }
        if (Peek() == '(' && Peek(1) == '?' && (Peek(2) == '=' || Peek(2) == '!')) {
            return ParseLookahead();
        }
        int atom = ParseAtom();
        return atom < 0 ? -1 : ParseQuantifier(atom);
    }

    int ParseLookahead() {
        bool negated = Peek(2) == '!';
        pos_ += 3;
        int body = ParseGroupBody();
        if (body < 0) {
            return -1;
        }
        if (Peek() == '*' || Peek() == '+' || Peek() == '?' || Peek() == '{') {
            if (Peek() != '{' || QuantifierAhead()) {
                return Fail("a lookahead cannot be repeated");
            }
        }
        SyntaxNode node;
        node.kind = SyntaxNode::kLookahead;
        node.negated = negated;
        node.children = {body};
        return Add(std::move(node));
    }

    // The disjunction of a group whose opening has been read, and its ")".
    int ParseGroupBody() {
        if (++depth_ > kMaxGroupNesting) {
            return Unsupported("groups are nested too deeply");
        }
        int body = ParseDisjunction();
        --depth_;
        if (body < 0) {
            return -1;
        }
        return Accept(')') ? body : Fail("missing ')'");
    }

    int ParseAtom() {
        char32_t c = Peek();
        switch (c) {
            case '.':
                ++pos_;
                return AddLeaf(SyntaxNode::kAny);
            case '(':
                return ParseGroup();
            case '[':
                ++pos_;
                return ParseClass();
            case '\\':
                ++pos_;
                return ParseAtomEscape();
            case '*':
            case '+':
            case '?':
                return Fail("nothing to repeat");
            case '{':
                if (QuantifierAhead()) {
                    return Fail("nothing to repeat");
                }
                break;
            default:
                break;
        }
        ++pos_;
        return AddLeaf(SyntaxNode::kChar, c);
    }

    int ParseGroup() {
        ++pos_;
        if (Accept('?')) {
            if (Accept(':')) {
                return ParseGroupBody();
            }
            if (Peek() == '<' && (Peek(1) == '=' || Peek(1) == '!')) {
                return Unsupported("lookbehind is not supported");
            }
            if (!Accept('<')) {
                return Fail("invalid group");
            }
            size_t nameStart = pos_;
            while (!AtEnd() && Peek() != '>') {
                ++pos_;
            }
            if (!Accept('>') || pos_ == nameStart + 1) {
                return Fail("invalid group name");
            }
        }
        return ParseGroupBody();
    }

    bool ParseNumber(int& out) {
        size_t start = pos_;
        long value = 0;
        while (Peek() >= '0' && Peek() <= '9') {
            value = std::min<long>(value * 10 + (Peek() - '0'), std::numeric_limits<int>::max());
            ++pos_;
        }
        out = static_cast<int>(value);
        return pos_ > start;
    }

    // Reads {n}, {n,} or {n,m} at the current position; false (position kept) otherwise.
    bool ParseBraces(int& min, int& max) {
        size_t start = pos_;
        if (Accept('{') && ParseNumber(min)) {
            max = min;
            if (Accept(',')) {
                max = ParseNumber(max) ? max : kUnbounded;
            }
            if (Accept('}')) {
                return true;
            }
        }
        pos_ = start;
        return false;
    }

    bool QuantifierAhead() {
        size_t start = pos_;
        int min = 0;
        int max = 0;
        bool found = ParseBraces(min, max);
        pos_ = start;
        return found;
    }

    int ParseQuantifier(int atom) {
        int min = 0;
        int max = 0;
        if (Accept('*')) {
            max = kUnbounded;
        } else if (Accept('+')) {
            min = 1;
            max = kUnbounded;
        } else if (Accept('?')) {
            max = 1;
        } else if (!ParseBraces(min, max)) {
            return atom;
        }
        if (max != kUnbounded && max < min) {
            return Fail("numbers out of order in {} quantifier");
        }
        Accept('?');  // laziness does not change whether a match exists
        SyntaxNode node;
        node.kind = SyntaxNode::kRepeat;
        node.min = min;
        node.max = max;
        node.children = {atom};
        return Add(std::move(node));
    }

    // One code point written as an escape after "\" (shared by atoms and classes), or -1.
    // Class escapes (\d, \w, \s) are handled by the callers.
    long ParseCharacterEscape() {
        if (AtEnd()) {
            return Fail("\\ at end of pattern");
        }
        char32_t c = text_[pos_++];
        switch (c) {
            case 't':
                return '\t';
            case 'n':
                return '\n';
            case 'v':
                return '\v';
            case 'f':
                return '\f';
            case 'r':
                return '\r';
            case 'c': {
                char32_t letter = Peek() | 0x20;
                if (letter < 'a' || letter > 'z') {
                    return Fail("invalid \\c escape");
                }
                return text_[pos_++] % 32;
            }
            case '0':
                if (Peek() >= '0' && Peek() <= '9') {
                    return Unsupported("octal escapes are not supported");
                }
                return 0;
            case 'x':
                return ParseHex(2);
            case 'u':
                return ParseUnicodeEscape();
            case 'k':
                return Unsupported("backreferences are not supported");
            case 'p':
            case 'P':
                return Unsupported("Unicode property escapes are not supported");
            default:
                break;
        }
        if (c >= '1' && c <= '9') {
            return Unsupported("backreferences are not supported");
        }
        if (IsAsciiAlphanumeric(c)) {
            return Fail("invalid escape");
        }
        return c;
    }

    long ParseHex(int digits) {
        long value = 0;
        for (int i = 0; i < digits; ++i) {
            int digit = HexValue(Peek());
            if (digit < 0) {
                return Fail("invalid hexadecimal escape");
            }
            value = value * 16 + digit;
            ++pos_;
        }
        return value;
    }

    long ParseUnicodeEscape() {
        if (Accept('{')) {
            long value = 0;
            size_t start = pos_;
            while (HexValue(Peek()) >= 0 && value <= static_cast<long>(kMaxCodePoint)) {
                value = value * 16 + HexValue(text_[pos_++]);
            }
            if (pos_ == start || !Accept('}') || value > static_cast<long>(kMaxCodePoint)) {
                return Fail("invalid Unicode escape");
            }
            return value;
        }
        long value = ParseHex(4);
        // A surrogate pair written as two escapes is one code point.
        if (value >= 0xD800 && value <= 0xDBFF && Peek() == '\\' && Peek(1) == 'u') {
            size_t start = pos_;
            pos_ += 2;
            long low = ParseHex(4);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                return 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
            }
            problem_.clear();
            pos_ = start;
        }
        return value;
    }

    int ParseAtomEscape() {
        if (IsClassEscapeLetter(Peek())) {
            return AddClass(ClassEscapeRanges(text_[pos_++]), false);
        }
        long c = ParseCharacterEscape();
        return c < 0 ? -1 : AddLeaf(SyntaxNode::kChar, static_cast<uint32_t>(c));
    }

    // One member of a class: a single code point (returned) or a set added to ranges
    // (returns -2). -1 on failure.
    long ParseClassAtom(Ranges& ranges) {
        if (AtEnd()) {
            return Fail("missing ']'");
        }
        char32_t c = text_[pos_++];
        if (c != '\\') {
            return c;
        }
        if (IsClassEscapeLetter(Peek())) {
            Ranges set = ClassEscapeRanges(text_[pos_++]);
            ranges.insert(ranges.end(), set.begin(), set.end());
            return -2;
        }
        if (Accept('b')) {
            return '\b';
        }
        if (Accept('-')) {
            return '-';
        }
        return ParseCharacterEscape();
    }

    int ParseClass() {
        bool negated = Accept('^');
        Ranges ranges;
        while (!Accept(']')) {
            long first = ParseClassAtom(ranges);
            if (first == -1) {
                return -1;
            }
            if (Peek() == '-' && Peek(1) != ']' && pos_ + 1 < text_.size()) {
                ++pos_;
                long last = ParseClassAtom(ranges);
                if (last == -1) {
                    return -1;
                }
                if (first == -2 || last == -2) {
                    // A set next to "-" makes the "-" a literal.
                    ranges.emplace_back('-', '-');
                    AddSingle(ranges, first);
                    AddSingle(ranges, last);
                    continue;
                }
                if (last < first) {
                    return Fail("range out of order in character class");
                }
                ranges.emplace_back(static_cast<char32_t>(first), static_cast<char32_t>(last));
                continue;
            }
            AddSingle(ranges, first);
        }
        return AddClass(std::move(ranges), negated);
    }

    static void AddSingle(Ranges& ranges, long c) {
        if (c >= 0) {
            ranges.emplace_back(static_cast<char32_t>(c), static_cast<char32_t>(c));
        }
    }

    std::u32string text_;
    size_t pos_ = 0;
    int depth_ = 0;
    bool unsupported_ = false;
    std::string problem_;
    std::vector<SyntaxNode> nodes_;
    RegexProgram& program_;
};

// Emits the instructions of a syntax tree. Repetition copies its body, so the size of the
// program is checked as it grows.
class CodeEmitter {
public:
    CodeEmitter(const std::vector<SyntaxNode>& nodes, RegexProgram& program)
        : nodes_(nodes), program_(program) {}

    // Compiles node into a new code list; returns its index or -1 when too large.
    long EmitCode(int node) {
        size_t index = program_.codes.size();
        program_.codes.emplace_back();
        std::vector<RegexInst> code;
        if (!Emit(node, code)) {
            return -1;
        }
        code.push_back({RegexOp::kMatch});
        total_ += code.size();
        program_.codes[index] = std::move(code);
        return total_ > kMaxInstructions ? -1 : static_cast<long>(index);
    }

private:
    static uint32_t Here(const std::vector<RegexInst>& code) {
        return static_cast<uint32_t>(code.size());
    }

    bool Emit(int index, std::vector<RegexInst>& code) {
        if (total_ + code.size() > kMaxInstructions) {
            return false;
        }
        const SyntaxNode& node = nodes_[index];
        switch (node.kind) {
            case SyntaxNode::kEmpty:
                return true;
            case SyntaxNode::kChar:
                code.push_back({RegexOp::kChar, node.value});
                return true;
            case SyntaxNode::kClass:
                code.push_back({RegexOp::kClass, node.value});
                return true;
            case SyntaxNode::kAny:
                code.push_back({RegexOp::kAny});
                return true;
            case SyntaxNode::kInputStart:
                code.push_back({RegexOp::kInputStart});
                return true;
            case SyntaxNode::kInputEnd:
                code.push_back({RegexOp::kInputEnd});
                return true;
            case SyntaxNode::kWordBoundary:
                code.push_back({RegexOp::kWordBoundary});
                return true;
            case SyntaxNode::kNotWordBoundary:
                code.push_back({RegexOp::kNotWordBoundary});
                return true;
            case SyntaxNode::kLookahead:
                return EmitLookahead(node, code);
            case SyntaxNode::kConcat:
                for (int child : node.children) {
                    if (!Emit(child, code)) {
                        return false;
                    }
                }
                return true;
            case SyntaxNode::kAlternation:
                return EmitAlternation(node, code);
            case SyntaxNode::kRepeat:
                return EmitRepeat(node, code);
        }
        return false;
    }

    bool EmitLookahead(const SyntaxNode& node, std::vector<RegexInst>& code) {
        long body = EmitCode(node.children[0]);
        if (body < 0) {
            return false;
        }
        program_.lookaheads.push_back({static_cast<uint32_t>(body), node.negated});
        code.push_back(
            {RegexOp::kLookahead, static_cast<uint32_t>(program_.lookaheads.size() - 1)});
        return true;
    }

    bool EmitAlternation(const SyntaxNode& node, std::vector<RegexInst>& code) {
        std::vector<uint32_t> exits;
        for (size_t i = 0; i < node.children.size(); ++i) {
            bool last = i + 1 == node.children.size();
            uint32_t split = Here(code);
            if (!last) {
                code.push_back({RegexOp::kSplit, split + 1});
            }
            if (!Emit(node.children[i], code)) {
                return false;
            }
            if (!last) {
                exits.push_back(Here(code));
                code.push_back({RegexOp::kJump});
                code[split].b = Here(code);
            }
        }
        for (uint32_t exit : exits) {
            code[exit].a = Here(code);
        }
        return true;
    }

    bool EmitRepeat(const SyntaxNode& node, std::vector<RegexInst>& code) {
        int body = node.children[0];
        for (int i = 0; i < node.min; ++i) {
            const size_t before = code.size();
            if (!Emit(body, code)) {
                return false;
            }
            // A body that compiles to nothing matches the empty string alone, however often it
            // is repeated: counting out a huge count of it would never reach the size limit.
            if (code.size() == before) {
                return true;
            }
        }
        if (node.max == kUnbounded) {
            uint32_t loop = Here(code);
            code.push_back({RegexOp::kSplit, loop + 1});
            if (!Emit(body, code)) {
                return false;
            }
            code.push_back({RegexOp::kJump, loop});
            code[loop].b = Here(code);
            return true;
        }
        std::vector<uint32_t> skips;
        for (int i = node.min; i < node.max; ++i) {
            skips.push_back(Here(code));
            code.push_back({RegexOp::kSplit, Here(code) + 1});
            if (!Emit(body, code)) {
                return false;
            }
        }
        for (uint32_t skip : skips) {
            code[skip].b = Here(code);
        }
        return true;
    }

    const std::vector<SyntaxNode>& nodes_;
    RegexProgram& program_;
    size_t total_ = 0;
};

bool DecodePattern(std::string_view pattern, std::u32string& out) {
    for (size_t pos = 0; pos < pattern.size();) {
        char32_t cp;
        pos += DecodeUtf8(pattern, pos, cp);
        if (cp == kReplacementCharacter) {
            return false;
        }
        out.push_back(cp);
    }
    return true;
}

// True when every path through node starts with ^, so a search need only try position 0.
bool StartsAnchored(const std::vector<SyntaxNode>& nodes, int index) {
    const SyntaxNode& node = nodes[index];
    switch (node.kind) {
        case SyntaxNode::kInputStart:
            return true;
        case SyntaxNode::kConcat:
            return StartsAnchored(nodes, node.children[0]);
        case SyntaxNode::kAlternation:
            return std::all_of(node.children.begin(), node.children.end(),
                               [&](int child) { return StartsAnchored(nodes, child); });
        default:
            return false;
    }
}

}  // namespace

bool CompileEcmaPattern(std::string_view pattern, RegexProgram& program, bool& unsupported,
                        std::string& problem) {
    std::u32string text;
    if (!DecodePattern(pattern, text)) {
        unsupported = false;
        problem = "the pattern is not UTF-8";
        return false;
    }
    PatternParser parser(std::move(text), program);
    int root = parser.ParseAll();
    if (root < 0) {
        unsupported = parser.unsupported();
        problem = parser.problem();
        return false;
    }
    CodeEmitter emitter(parser.nodes(), program);
    if (emitter.EmitCode(root) != 0) {
        unsupported = true;
        problem = "the pattern is too large once its repetitions are expanded";
        return false;
    }
    program.anchoredAtStart = StartsAnchored(parser.nodes(), root);
    return true;
}

}  // namespace TarnValidator
