// Number semantics of the validator on rapidjson values: which numbers are integers, exact
// comparison across 64-bit integers and doubles, and multipleOf. Pure functions; any thread.
#pragma once

#include "tarn/json/json.h"

namespace TarnValidator {

// An integer is a number read without fraction or exponent (1, not 1.0), or one too large for
// 64 bits, which the parser can only keep as a double.
bool IsIntegerNumber(const rapidjson::Value& number);

// A double with a zero fraction that is not an integer by the rule above (1.0, 2e3).
bool IsWholeFloat(const rapidjson::Value& number);

// -1, 0 or 1 as a is below, equal to or above b. Integers compare exactly.
int CompareNumbers(const rapidjson::Value& a, const rapidjson::Value& b);

// Whether value is an integer multiple of divisor (divisor > 0). Integers divide exactly;
// otherwise the quotient must be whole within the rounding of doubles.
bool IsMultipleOf(const rapidjson::Value& value, const rapidjson::Value& divisor);

}  // namespace TarnValidator
