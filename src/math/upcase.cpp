// Byte-level character utilities: upper case in place, byte copy and fill.
#include <cstdint>

#include "math/kmath.hpp"

namespace kest {

void upcase(char* text, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) {
    const auto j = static_cast<unsigned char>(text[i]);
    if (j > 96 && j <= 122) text[i] = static_cast<char>(j - 32);
  }
}

void b2b(const char* src, char* dst, std::int32_t n) {
  if (n > 0) {
    for (std::int32_t i = 0; i < n; ++i) dst[i] = src[i];
  } else if (n < 0) {
    const char fill = src[0];
    const std::int64_t count = -static_cast<std::int64_t>(n);
    for (std::int64_t i = 0; i < count; ++i) dst[i] = fill;
  }
}

}  // namespace kest
