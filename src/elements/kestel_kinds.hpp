// The per-kind item readers of kestel for file codes 3 to 6. Each is entered
// with the table open on IOD and positioned at the item, and J = 0; it fills
// the working quantities of kestel_work and stores TITLE, TJP and SIDAY as
// soon as it knows them. It returns 0, or the failure number IERR.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textio/textio.hpp"

namespace kest {

std::int32_t kestel_minor(std::int32_t IOD, char* TITLE, std::size_t NTITLE, double& SIDAY,
                          double& TJP);
std::int32_t kestel_small(std::int32_t IOD, char* TITLE, std::size_t NTITLE, double& SIDAY,
                          double& TJP);
std::int32_t kestel_comet(std::int32_t IOD, char* TITLE, std::size_t NTITLE, double& SIDAY,
                          double& TJP);
std::int32_t kestel_exo(std::int32_t IOD, char* TITLE, std::size_t NTITLE, double& SIDAY,
                        double& TJP);

// Failure number for the outcome of an item-line read: 0, 7 (conversion
// error) or 6 (end of file).
inline std::int32_t value_failure(ReadStatus s) {
  return s == ReadStatus::ok ? 0 : s == ReadStatus::conversion_error ? 7 : 6;
}

}  // namespace kest
