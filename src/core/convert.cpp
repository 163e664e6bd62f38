#include "convert.h"

#include "apperror.h"
#include "rounding.h"

#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace nimbrel {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Checks the number grammar the store uses (sign, digits, optional point and fraction, optional
// exponent) on plain ASCII, so that neither the Qt default locale nor the C library's LC_NUMERIC
// can change what a stored value means. Returns the text without its sign.
bool splitNumber(const QString& text, bool& negative, std::string& unsignedText) {
    const QString trimmed = text.trimmed();
    std::string s;
    s.reserve(static_cast<size_t>(trimmed.size()));
    for (const QChar ch : trimmed) {
        if (ch.unicode() > 0x7F)
            return false;
        s.push_back(static_cast<char>(ch.unicode()));
    }
    size_t i = 0;
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const size_t start = i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t exponentDigits = 0;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;
    unsignedText = s.substr(start);
    return true;
}

// Whether a number that from_chars found out of range is too large (rather than too small).
bool magnitudeIsLarge(const std::string& text) {
    long long position = 0; // decimal position of the first significant digit
    bool seenSignificant = false;
    bool beforePoint = true;
    long long leadingFractionZeros = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        const char c = text[i];
        if (c == '.') {
            beforePoint = false;
            continue;
        }
        if (!seenSignificant && c != '0') {
            seenSignificant = true;
            position = 0;
        }
        if (beforePoint && seenSignificant)
            ++position;
        if (!beforePoint && !seenSignificant)
            ++leadingFractionZeros;
    }
    if (!seenSignificant)
        return false;
    if (position == 0)
        position = -leadingFractionZeros;
    long long exponent = 0;
    if (i < text.size()) {
        ++i;
        bool negativeExponent = false;
        if (text[i] == '+' || text[i] == '-')
            negativeExponent = text[i++] == '-';
        for (; i < text.size() && exponent < 1'000'000'000LL; ++i)
            exponent = exponent * 10 + (text[i] - '0');
        if (negativeExponent)
            exponent = -exponent;
    }
    return position + exponent > 0;
}

double parseNumber(const QString& text) {
    bool negative = false;
    std::string digits;
    if (!splitNumber(text, negative, digits))
        throw AppError::typeMismatch();
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        if (magnitudeIsLarge(digits))
            throw AppError::overflow();
        value = 0.0;
    } else if (error != std::errc() || end != digits.data() + digits.size()) {
        throw AppError::typeMismatch();
    }
    return negative ? -value : value;
}

template <class Int> Int toWhole(const QString& text) {
    const double rounded = roundHalfEven(parseNumber(text));
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        throw AppError::overflow();
    return static_cast<Int>(rounded);
}

} // namespace

qint16 toInteger(const QString& text) {
    return toWhole<qint16>(text);
}

qint32 toLong(const QString& text) {
    return toWhole<qint32>(text);
}

double toDouble(const QString& text) {
    return parseNumber(text);
}

} // namespace nimbrel
