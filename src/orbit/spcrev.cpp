#include <array>
#include <cstddef>
#include <cstdint>

#include "orbit/korbit.hpp"

namespace kest {

namespace {
// Periapsis history of the two built-in spacecraft: rows 1-12 spacecraft 1,
// rows 13-22 spacecraft 2, the last row of each block an end mark. PJ is the
// date of a periapsis (days), P the period from it on (hours), LR the
// revolution number at it.
constexpr std::array<std::int32_t, 2> KO = {1, 13};    // first row of each block
constexpr std::array<std::int32_t, 2> KEND = {12, 22};  // end-mark row of each block
constexpr std::array<float, 22> PJ = {
    2952.25f, 3034.21f, 3047.14f, 3166.76f, 3214.63f, 3228.39f, 3327.33f, 3845.85f,
    4014.62f, 4076.06f, 4185.55f, 99999.0f,  //
    3002.52f, 3019.28f, 3053.26f, 3133.66f, 3206.41f, 3253.43f, 3413.59f, 3426.76f,
    3440.89f, 99999.0f};
constexpr std::array<float, 22> P = {
    24.59f, 22.17f, 24.54f, 22.98f, 22.02f, 23.51f, 23.98f, 24.85f, 24.99f, 24.79f, 24.00f,
    9999.0f,  //
    26.75f, 24.71f, 26.80f, 26.45f, 24.53f, 22.74f, 24.31f, 24.22f, 23.98f, 99999.0f};
constexpr std::array<std::int32_t, 22> LR = {
    3, 83, 97, 214, 264, 279, 380, 899, 1062, 1121, 1227, 9999,  //
    4, 19, 52, 124, 190, 236, 405, 418, 432, 9999};

// Row k (1-based) of a table.
template <typename T>
T row(const std::array<T, 22>& table, std::int32_t k) {
  return table[static_cast<std::size_t>(k - 1)];
}
}  // namespace

Revolution revolution_at(float period, float epoch, float date) {
  Revolution r;
  if (period == 0.0f) return r;
  if (period > 0.0f) {
    r.rev = static_cast<float>(static_cast<float>(date - epoch) / period);
    return r;
  }
  // -period rounded, halves upward; only 1 and 2 name a spacecraft, and a
  // period that is not a number names none.
  const float kf = static_cast<float>(0.5f - period);
  const std::int32_t K = (kf >= 1.0f && kf < 3.0f) ? static_cast<std::int32_t>(kf) : 0;
  if (K == 0) return r;
  const std::size_t k = static_cast<std::size_t>(K - 1);
  // Last periapsis before the date; the search stays among the block's real rows.
  r.row = KO[k];
  while (r.row + 1 < KEND[k] && date > row(PJ, r.row + 1)) r.row = r.row + 1;
  const float dt = static_cast<float>(date - row(PJ, r.row));
  const float pdays = static_cast<float>(row(P, r.row) / 24.0f);
  const float q = static_cast<float>(dt / pdays);
  const float s = static_cast<float>(static_cast<float>(row(LR, r.row)) + q);
  r.rev = static_cast<float>(s + 0.5f);
  return r;
}

void spcrev(float period, float epoch, float date, float& rev) { rev = revolution_at(period, epoch, date).rev; }

}  // namespace kest
