#include <ctime>

#include "main/kestmn.hpp"

namespace kest {

void catime_at(std::int64_t seconds, FixedText<22>& BUFFER) {
  // STRING: the local-time text "Www Mmm dd hh:mm:ss yyyy", blank-padded
  // or cut to 24 characters.
  char text[64] = {};
  const std::time_t J = static_cast<std::time_t>(seconds);
  std::tm tm{};
  std::size_t n = 0;
  if (::localtime_r(&J, &tm) != nullptr) n = std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &tm);
  std::array<char, 24> STRING;
  STRING.fill(' ');
  for (std::size_t i = 0; i < n && i < 24; ++i) STRING[i] = text[i];
  // The year first, then month, day and time; the weekday is dropped.
  BUFFER.c[0] = ' ';
  for (std::size_t i = 0; i < 4; ++i) BUFFER.c[1 + i] = STRING[20 + i];
  for (std::size_t i = 0; i < 17; ++i) BUFFER.c[5 + i] = STRING[3 + i];
}

void catime(FixedText<22>& BUFFER) { catime_at(static_cast<std::int64_t>(std::time(nullptr)), BUFFER); }

}  // namespace kest
