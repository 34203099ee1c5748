#include "ui/bars/EditNumber.h"

#include <charconv>
#include <limits>
#include <string>

namespace lorvanta {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

double ReadEditNumber(const QString& text) {
    const std::string bytes = text.toStdString();
    std::size_t i = 0;
    const std::size_t size = bytes.size();
    while (i < size && IsBlank(bytes[i]))
        ++i;
    bool negative = false;
    if (i < size && (bytes[i] == '+' || bytes[i] == '-')) {
        negative = bytes[i] == '-';
        ++i;
    }
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    for (; i < size && IsDigit(bytes[i]); ++i)
        ++digits;
    if (i < size && bytes[i] == '.') {
        ++i;
        for (; i < size && IsDigit(bytes[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0.0;
    bool negativeExponent = false;
    if (i < size && (bytes[i] == 'e' || bytes[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < size && (bytes[j] == '+' || bytes[j] == '-')) {
            negativeExponent = bytes[j] == '-';
            ++j;
        }
        if (j < size && IsDigit(bytes[j])) {
            while (j < size && IsDigit(bytes[j]))
                ++j;
            i = j;
        } else {
            negativeExponent = false;
        }
    }
    // from_chars takes no "+"; the sign is put back afterwards.
    double value = 0.0;
    const auto [end, error] = std::from_chars(bytes.data() + mantissa, bytes.data() + i, value);
    if (error == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    else if (error != std::errc() || end != bytes.data() + i)
        return 0.0;
    return negative ? -value : value;
}

QString FormatFixed(const char* format, double value) {
    return QString::asprintf(format, value);
}

} // namespace lorvanta
