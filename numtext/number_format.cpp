// SPDX-License-Identifier: MIT
// Doubles to text, byte for byte as printf writes "%.*f" and "%.*g" in the C
// locale, on every platform. std::to_chars with a precision does that exactly but
// slowly. The fast way rounds the double's exact value, an integer times a power
// of two, to the last decimal kept in 128-bit integer arithmetic, halves to even
// as printf does; numbers too large or too small for that go the slow way.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

__extension__ typedef unsigned __int128 Wide;  // GCC and Clang, also MinGW-w64

// Sign, 309 integer digits of DBL_MAX, the point and the decimals.
constexpr std::size_t fixed_capacity(int decimals) {
  return 312 + static_cast<std::size_t>(decimals);
}

constexpr int kMaxPowerOfTen = 19;  // the largest that fits 64 bits

constexpr auto kPowersOfTen = [] {
  std::array<std::uint64_t, kMaxPowerOfTen + 1> powers{};
  powers[0] = 1;
  for (int k = 1; k <= kMaxPowerOfTen; ++k) powers[k] = powers[k - 1] * 10;
  return powers;
}();

std::uint64_t power_of_ten(int k) { return kPowersOfTen[k]; }

// A finite non-zero double as mantissa * 2^shift, exactly.
void split_double(double value, std::uint64_t& mantissa, int& shift) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  mantissa = bits & ((1ULL << 52) - 1);
  if (biased == 0) {  // subnormal: no hidden bit
    shift = -1074;
  } else {
    mantissa |= 1ULL << 52;
    shift = biased - 1075;
  }
}

int bit_length(Wide value) {
  const auto high = static_cast<std::uint64_t>(value >> 64);
  const auto low = static_cast<std::uint64_t>(value);
  if (high != 0) return 128 - __builtin_clzll(high);
  return low != 0 ? 64 - __builtin_clzll(low) : 0;
}

// q rounded up when the remainder is above half, or on half with q odd.
Wide rounded(Wide quotient, Wide twice_remainder, Wide divisor) {
  const bool up = twice_remainder > divisor || (twice_remainder == divisor && (quotient & 1) != 0);
  return quotient + (up ? 1 : 0);
}

// n / 2^k rounded, halves to even, for 0 < k < 64 and n < 2^(64 + k): in 64-bit
// arithmetic and without a branch, since whether a number rounds up is no
// pattern a processor can predict.
inline std::uint64_t shifted_rounded(Wide n, int k) {
  const auto high = static_cast<std::uint64_t>(n >> 64);
  const auto low = static_cast<std::uint64_t>(n);
  const std::uint64_t quotient = (low >> k) | (high << (64 - k));
  const std::uint64_t rest = low & ((std::uint64_t{1} << k) - 1);
  const std::uint64_t half = std::uint64_t{1} << (k - 1);
  return quotient + (rest + (quotient & 1) > half);  // above half, or half and odd
}

// |value| * 10^scale rounded to an integer exactly, halves to even. False when
// the numbers involved do not fit 128 bits; `value` must be finite and non-zero.
inline __attribute__((always_inline)) bool scaled_integer(double value, int scale, Wide& result) {
  if (scale > kMaxPowerOfTen || scale < -kMaxPowerOfTen) return false;
  std::uint64_t mantissa = 0;
  int shift = 0;
  split_double(value, mantissa, shift);  // |value| = mantissa * 2^shift
  if (scale >= 0) {
    const Wide numerator = static_cast<Wide>(mantissa) * power_of_ten(scale);
    if (shift >= 0) {
      if (bit_length(numerator) + shift > 127) return false;
      result = numerator << shift;
    } else if (-shift < 64 && static_cast<std::uint64_t>(numerator >> 64) >> -shift == 0) {
      result = shifted_rounded(numerator, -shift);
    } else if (-shift >= 127) {
      result = 0;  // below a quarter of the last unit
    } else {
      const Wide divisor = static_cast<Wide>(1) << -shift;
      result = rounded(numerator >> -shift, (numerator & (divisor - 1)) << 1, divisor);
    }
    return true;
  }
  const Wide divisor = power_of_ten(-scale);
  if (shift >= 0) {
    if (shift > 127 - 53) return false;
    const Wide numerator = static_cast<Wide>(mantissa) << shift;
    result = rounded(numerator / divisor, (numerator % divisor) << 1, divisor);
    return true;
  }
  if (-shift + bit_length(divisor) > 126) return false;
  const Wide full_divisor = divisor << -shift;
  result = rounded(mantissa / full_divisor, (mantissa % full_divisor) << 1, full_divisor);
  return true;
}

// "00" to "99", two digits a division.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// The decimal digits of `value`, at least `minimum` of them (leading zeros).
int put_digits(char* buffer, Wide value, int minimum) {
  char reversed[48];  // filled from its end
  char* p = reversed + sizeof reversed;
  for (; value > UINT64_MAX; value /= 10) {  // 128-bit division only for huge values
    *--p = static_cast<char>('0' + static_cast<int>(value % 10));
  }
  auto narrow = static_cast<std::uint64_t>(value);
  while (narrow >= 100) {
    const auto pair = static_cast<std::size_t>(narrow % 100) * 2;
    narrow /= 100;
    *--p = kDigitPairs[pair + 1];
    *--p = kDigitPairs[pair];
  }
  if (narrow >= 10) {
    *--p = kDigitPairs[2 * narrow + 1];
    *--p = kDigitPairs[2 * narrow];
  } else {
    *--p = static_cast<char>('0' + narrow);
  }
  while (reversed + sizeof reversed - p < minimum) *--p = '0';
  const int count = static_cast<int>(reversed + sizeof reversed - p);
  std::memcpy(buffer, p, static_cast<std::size_t>(count));
  return count;
}

// x / 10^6, x / 10^8 and x / 10^4 by a multiplication and a shift, as compilers
// divide by a constant where speed counts; exact for every x of the type.
constexpr std::uint64_t by_million(std::uint64_t x) {
  return static_cast<std::uint64_t>((static_cast<Wide>(x) * 4835703278458516699ULL) >> 82);
}
constexpr std::uint64_t by_hundred_million(std::uint64_t x) {
  return static_cast<std::uint64_t>((static_cast<Wide>(x) * 12379400392853802749ULL) >> 90);
}
constexpr std::uint32_t by_ten_thousand(std::uint32_t x) {
  return static_cast<std::uint32_t>((std::uint64_t{x} * 3518437209ULL) >> 45);
}
static_assert(by_million(UINT64_MAX) == UINT64_MAX / 1000000 && by_million(999999) == 0 &&
              by_million(1000000) == 1 && by_million(18446744073709000000ULL) == 18446744073709ULL);
static_assert(by_hundred_million(UINT64_MAX) == UINT64_MAX / 100000000 &&
              by_hundred_million(99999999) == 0 && by_hundred_million(100000000) == 1);
static_assert(by_ten_thousand(UINT32_MAX) == UINT32_MAX / 10000 && by_ten_thousand(9999) == 0 &&
              by_ten_thousand(10000) == 1 && by_ten_thousand(99999999) == 9999);

// The eight decimal digits of `value` (below 10^8, leading zeros kept) as the bytes
// of an integer in memory order on a little-endian machine: both halves of four
// digits, then their pairs, then their digits are split at once in lanes of one
// integer, with division by a multiplication that is exact in the lane's range.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "eight digits are stored as one integer, the lowest byte first");
std::uint64_t eight_digits(std::uint32_t value) {
  const std::uint32_t high = by_ten_thousand(value);
  const std::uint64_t fours = high | static_cast<std::uint64_t>(value - high * 10000) << 32;
  const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
  const std::uint64_t pairs = hundreds | (fours - hundreds * 100) << 16;
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
  return (tens | (pairs - tens * 10) << 8) + 0x3030303030303030ULL;
}

void put_eight_digits(char* p, std::uint32_t value) {
  const std::uint64_t digits = eight_digits(value);
  std::memcpy(p, &digits, 8);
}

// The number of decimal digits of `value`, 1 for 0: log10(2) is about 1233 / 2^12.
int digit_count(std::uint64_t value) {
  const int estimate = ((64 - __builtin_clzll(value | 1)) * 1233) >> 12;
  return estimate + ((value | 1) >= power_of_ten(estimate) ? 1 : 0);
}

// The digits of `value` (below 10^8) without leading zeros at `p`, 8 bytes written;
// returns the end of the digits.
char* put_leading_digits(char* p, std::uint32_t value) {
  const int count = digit_count(value);
  const std::uint64_t digits = eight_digits(value) >> (8 * (8 - count));  // zeros dropped
  std::memcpy(p, &digits, 8);
  return p + count;
}

std::size_t put_fixed(char* buffer, std::size_t capacity, double value, int decimals) {
  Wide scaled = 0;
  if (value == 0.0 || !std::isfinite(value) || !scaled_integer(value, decimals, scaled)) {
    const auto result =
        std::to_chars(buffer, buffer + capacity, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) throw std::runtime_error("put_fixed: the buffer is too small");
    return static_cast<std::size_t>(result.ptr - buffer);
  }
  char digits[48];
  const int count = put_digits(digits, scaled, decimals + 1);  // a 0 before the point at least
  char* p = buffer;
  if (std::signbit(value)) *p++ = '-';
  p = std::copy(digits, digits + count - decimals, p);
  if (decimals > 0) {
    *p++ = '.';
    p = std::copy(digits + count - decimals, digits + count, p);
  }
  return static_cast<std::size_t>(p - buffer);
}

// floor(log10(|value|)), or one less: log10(2) is about 78913 / 2^18.
int decimal_exponent_estimate(double value) {
  std::uint64_t mantissa = 0;
  int shift = 0;
  split_double(value, mantissa, shift);
  const int binary_exponent = shift + 63 - __builtin_clzll(mantissa);  // of the leading bit
  return (binary_exponent * 78913) >> 18;  // an arithmetic shift: floors negatives too
}

// |value| rounded to `kept` significant digits, as the integer |value| * 10^scale
// of exactly `kept` digits: the scale first from the logarithm, then corrected by
// the integer itself (which also catches 9.99... rounding up). False when that
// takes 128-bit integers beyond their range.
bool significant_digits(double value, int kept, Wide& scaled, int& scale) {
  if (!std::isfinite(value) || value == 0.0 || kept > kMaxPowerOfTen) return false;
  scale = kept - 1 - decimal_exponent_estimate(value);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!scaled_integer(value, scale, scaled)) return false;
    if (scaled >= power_of_ten(kept)) {
      --scale;
    } else if (scaled < power_of_ten(kept - 1)) {
      ++scale;
    } else {
      return true;
    }
  }
  return false;
}

// `count` digits, the first of them at 10^exponent, "%f" style: "0.00125", "1200", "12.5".
char* put_positional(char* p, const char* digits, int count, int exponent) {
  if (exponent < 0) {
    *p++ = '0';
    *p++ = '.';
    p = std::fill_n(p, -exponent - 1, '0');
    return std::copy(digits, digits + count, p);
  }
  const int whole = exponent + 1;
  p = std::copy(digits, digits + std::min(count, whole), p);
  p = std::fill_n(p, std::max(whole - count, 0), '0');
  if (count > whole) {
    *p++ = '.';
    p = std::copy(digits + whole, digits + count, p);
  }
  return p;
}

// The same "%e" style: "1.25e-05", "1e+100".
char* put_exponential(char* p, const char* digits, int count, int exponent) {
  *p++ = digits[0];
  if (count > 1) {
    *p++ = '.';
    p = std::copy(digits + 1, digits + count, p);
  }
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const int magnitude = std::abs(exponent);
  if (magnitude >= 100) *p++ = static_cast<char>('0' + magnitude / 100);
  *p++ = static_cast<char>('0' + magnitude / 10 % 10);
  *p++ = static_cast<char>('0' + magnitude % 10);
  return p;
}

}  // namespace

std::size_t put_general(char* buffer, double value, int precision) {
  const int kept = std::max(precision, 1);
  Wide scaled = 0;
  int scale = 0;
  if (!significant_digits(value, kept, scaled, scale)) {
    const auto result = std::to_chars(buffer, buffer + kGeneralCapacity, value,
                                      std::chars_format::general, precision);
    if (result.ec != std::errc()) throw std::runtime_error("put_general: precision too large");
    return static_cast<std::size_t>(result.ptr - buffer);
  }
  char digits[24];
  int count = put_digits(digits, scaled, kept);
  while (count > 1 && digits[count - 1] == '0') --count;  // "%g" drops trailing zeros
  const int exponent = kept - 1 - scale;                  // of the first digit
  char* p = buffer;
  if (std::signbit(value)) *p++ = '-';
  p = exponent >= -4 && exponent < kept ? put_positional(p, digits, count, exponent)
                                        : put_exponential(p, digits, count, exponent);
  return static_cast<std::size_t>(p - buffer);
}

std::string format_general(double value, int precision) {
  char buffer[kGeneralCapacity];
  return std::string(buffer, put_general(buffer, value, precision));
}

std::string format_number(double value) {
  char buffer[kNumberCapacity];
  return std::string(buffer, put_number(buffer, value));
}

std::size_t put_number(char* buffer, double value) {
  Wide scaled = 0;
  if (value == 0.0 || !std::isfinite(value) || !scaled_integer(value, 6, scaled) ||
      scaled > UINT64_MAX) {
    return put_fixed(buffer, kNumberCapacity, value, 6);
  }
  // Below 1.8e13 in magnitude: the digits come from 64-bit integers, eight at a time.
  const auto units = static_cast<std::uint64_t>(scaled);  // "%f" keeps six decimals
  const std::uint64_t whole = by_million(units);
  char* p = buffer;
  if (std::signbit(value)) *p++ = '-';
  if (whole >= 100000000) {
    const std::uint64_t high = by_hundred_million(whole);
    p = put_leading_digits(p, static_cast<std::uint32_t>(high));
    put_eight_digits(p, static_cast<std::uint32_t>(whole - high * 100000000));
    p += 8;
  } else {
    p = put_leading_digits(p, static_cast<std::uint32_t>(whole));
  }
  *p++ = '.';
  put_eight_digits(p, static_cast<std::uint32_t>((units - whole * 1000000) * 100));  // 2 too many
  return static_cast<std::size_t>(p + 6 - buffer);
}

std::string format_shortest(double value) {
  char buffer[32];  // the longest shortest form, "-2.2250738585072014e-308", has 24
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string format_fixed(double value, int decimals) {
  std::string text(fixed_capacity(decimals), '\0');
  text.resize(put_fixed(&text[0], text.size(), value, decimals));
  return text;
}

std::string join_numbers(const std::vector<double>& values) {
  std::string joined;
  joined.reserve(values.size() * 16);
  char buffer[kNumberCapacity];
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) joined += ',';
    joined.append(buffer, put_number(buffer, values[i]));
  }
  return joined;
}

}  // namespace helmert7
