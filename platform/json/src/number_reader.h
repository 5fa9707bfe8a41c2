// The reader's conversion of number texts to values. Private to the JSON library; one
// thread per object (the C locale it shares is made once and never changed).
#pragma once

#include <locale.h>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace TarnConfigStore {

// Converts the text of a JSON number the way rapidjson types numbers: integers to the
// smallest of int, unsigned, int64 and uint64 that holds them, everything else (and integers
// beyond 64 bits) to the correctly rounded double, independent of the process locale.
class __attribute__((visibility("hidden"))) NumberReader {
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

}  // namespace TarnConfigStore
