// Version texts ("3.0.0.25") and their order.
//
// A text has up to four parts separated by "."; a part's value is its leading decimal
// integer (optional blanks, optional sign, digits; a part without digits is 0), missing
// parts are 0, and parts after the fourth are ignored. The weight is
// part1 * 1,000,000 + part2 * 10,000 + part3 * 100 + part4 in 32-bit arithmetic that wraps
// as the published weights always have, so 3.0.1 and 3.0.0.100 weigh the same.
#pragma once

#include <cstdint>
#include <string_view>

namespace updater {

[[nodiscard]] std::int32_t versionWeight(std::string_view version);

// True exactly when `other` weighs more than `current`; equal weights are not newer.
[[nodiscard]] bool newer(std::string_view current, std::string_view other);

} // namespace updater
