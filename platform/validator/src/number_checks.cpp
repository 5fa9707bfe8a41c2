#include "number_checks.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace TarnValidator {
namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

bool IsExactInteger(const rapidjson::Value& number) {
    return number.IsInt64() || number.IsUint64();
}

uint64_t Magnitude(const rapidjson::Value& integer) {
    if (integer.IsUint64()) {
        return integer.GetUint64();
    }
    int64_t value = integer.GetInt64();
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool IsIntegerNumber(const rapidjson::Value& number) {
    if (IsExactInteger(number)) {
        return true;
    }
    double value = number.GetDouble();
    return std::isfinite(value) && std::fabs(value) >= kTwoTo63;
}

bool IsWholeFloat(const rapidjson::Value& number) {
    if (!number.IsNumber() || IsIntegerNumber(number)) {
        return false;
    }
    double value = number.GetDouble();
    return std::isfinite(value) && value == std::trunc(value);
}

int CompareNumbers(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (IsExactInteger(a) && IsExactInteger(b)) {
        if (a.IsInt64() && b.IsInt64()) {
            return Order(a.GetInt64(), b.GetInt64());
        }
        if (a.IsUint64() && b.IsUint64()) {
            return Order(a.GetUint64(), b.GetUint64());
        }
        // One is above the int64 range, the other below zero or inside it.
        return a.IsUint64() && !a.IsInt64() ? 1 : -1;
    }
    return Order(a.GetDouble(), b.GetDouble());
}

bool IsMultipleOf(const rapidjson::Value& value, const rapidjson::Value& divisor) {
    if (IsExactInteger(value) && IsExactInteger(divisor)) {
        return Magnitude(value) % Magnitude(divisor) == 0;
    }
    double quotient = value.GetDouble() / divisor.GetDouble();
    if (!std::isfinite(quotient)) {
        return false;
    }
    double tolerance = std::fmax(1e-9, std::fabs(quotient) * 4 * DBL_EPSILON);
    return std::fabs(quotient - std::nearbyint(quotient)) <= tolerance;
}

}  // namespace TarnValidator
