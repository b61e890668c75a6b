// Duration and size texts.
#include "engine/base/Format.h"

#include <charconv>
#include <cstdio>
#include <system_error>

namespace corvane {

namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;

// Thresholds of the size text: 1000 of each smaller unit.
constexpr int64_t kKilo = 1024;
constexpr int64_t kMega = kKilo * 1024;
constexpr int64_t kGiga = kMega * 1024;
constexpr int64_t kTera = kGiga * 1024;
constexpr int64_t kShowUnitBelow = 1000;

// value with a fixed number of decimals, rounded as printf rounds (exactly, half to even on
// the binary value), and a "." as the decimal point in every locale.
std::string FixedText(double value, int decimals) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                decimals);
    if (result.ec != std::errc()) return "?";
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string FormatDuration(int64_t seconds) {
    std::string sign;
    uint64_t s = static_cast<uint64_t>(seconds);
    if (seconds < 0) {
        sign = "-";
        s = 0 - s;
    }
    char buffer[64];
    if (s >= static_cast<uint64_t>(kSecondsPerHour)) {
        std::snprintf(buffer, sizeof buffer, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(s / kSecondsPerHour),
                      static_cast<unsigned long long>(s % kSecondsPerHour / kSecondsPerMinute),
                      static_cast<unsigned long long>(s % kSecondsPerMinute));
    } else {
        std::snprintf(buffer, sizeof buffer, "%llu:%02llu",
                      static_cast<unsigned long long>(s / kSecondsPerMinute),
                      static_cast<unsigned long long>(s % kSecondsPerMinute));
    }
    return sign + buffer;
}

std::string FormatSize(int64_t bytes) {
    const double n = static_cast<double>(bytes);
    if (bytes < kShowUnitBelow) return std::to_string(bytes) + " B";
    if (bytes < kShowUnitBelow * kKilo) return FixedText(n / kKilo, 1) + " KB";
    if (bytes < kShowUnitBelow * kMega) return FixedText(n / kMega, 2) + " MB";
    if (bytes < kShowUnitBelow * kGiga) return FixedText(n / kGiga, 2) + " GB";
    return FixedText(n / kTera, 2) + " TB";
}

std::string FormatPosition(int64_t tenths, int totalTenths) {
    constexpr int64_t kTenthsPerMinute = 600;
    constexpr int64_t kTenthsPerHour = 36000;
    const auto t = static_cast<long long>(tenths);
    char buffer[64];
    if (totalTenths > kLongPositionAbove) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", t / kTenthsPerHour,
                      t % kTenthsPerHour / kTenthsPerMinute, t % kTenthsPerMinute / 10, t % 10);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld.%lld", t / kTenthsPerMinute, t % kTenthsPerMinute / 10,
                      t % 10);
    }
    return buffer;
}

}  // namespace corvane
