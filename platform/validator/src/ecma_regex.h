// EcmaRegex: a regular expression in ECMAScript syntax (the dialect of JSON Schema's
// "pattern"), compiled for a matcher whose time is linear in the subject and whose stack use
// does not depend on it: an NFA simulation without backtracking. Patterns and subjects are
// UTF-8 and match code point by code point. Backreferences, lookbehind and Unicode property
// escapes are refused as unsupported. Instances are immutable and shared through a
// process-wide cache; any thread may compile and match.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace TarnValidator {

struct RegexProgram;

class EcmaRegex {
public:
    enum class Status { kOk, kSyntaxError, kUnsupported };

    // The compiled form of pattern, taken from the process-wide cache when seen before.
    static std::shared_ptr<const EcmaRegex> Get(std::string_view pattern);

    explicit EcmaRegex(std::string_view pattern);
    ~EcmaRegex();
    EcmaRegex(const EcmaRegex&) = delete;
    EcmaRegex& operator=(const EcmaRegex&) = delete;

    Status status() const { return status_; }
    // Why the pattern was refused; empty when it compiled.
    const std::string& problem() const { return problem_; }
    // True when the pattern matches anywhere in subject (patterns are not implicitly
    // anchored). Always false for a refused pattern.
    bool Search(std::string_view subject) const;

private:
    Status status_ = Status::kOk;
    std::string problem_;
    std::unique_ptr<const RegexProgram> program_;
};

}  // namespace TarnValidator

TARN_PUBLIC_END
