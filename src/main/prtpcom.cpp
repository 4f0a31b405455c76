#include <algorithm>

#include "main/kestmn.hpp"

namespace kest {

void prtpcom(std::int32_t MODE) {
  static const Format labels{"(5A12)"};
  static const Format values{"(5G12.5)"};
  static const Format units{"('IOK,IOS,IOP,IOD=',4I8)"};
  static const Format stamp{"('RUNTIME=',20a1)"};
  const std::int32_t IOP = KESTCM.IOP;

  // One group: up to five labels over their values.
  auto group = [&](const std::string_view* ti, int first_pos, int count) {
    std::array<Value, 5> lv{"", "", "", "", ""};
    std::array<Value, 5> vv{0.0, 0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < count; ++i) {
      lv[static_cast<std::size_t>(i)] = ti[i];
      vv[static_cast<std::size_t>(i)] = KESTCM.pos(first_pos + i);
    }
    write_fmt(IOP, labels, lv.data(), static_cast<std::size_t>(count));
    write_fmt(IOP, values, vv.data(), static_cast<std::size_t>(count));
  };

  if (MODE % 2 == 1) {
    write_free(IOP, {"  KESTCM 1:30"});
    for (int J = 1; J <= 26; J += 5) {
      const int I2 = std::min(J + 4, 30);
      group(&TI1[static_cast<std::size_t>(J - 1)], J, I2 - J + 1);
    }
  }
  if (MODE >= 2) {
    write_free(IOP, {"  KESTCM 31:41"});
    for (int J = 1; J <= 11; J += 5) {
      const int I2 = std::min(J + 4, 11);
      group(&TI2[static_cast<std::size_t>(J - 1)], 30 + J, I2 - J + 1);
    }
    write_fmt(IOP, units, {KESTCM.IOK, KESTCM.IOS, KESTCM.IOP, KESTCM.IOD});
    std::array<Value, 20> chars{"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", ""};
    for (std::size_t i = 0; i < 20; ++i) chars[i] = std::string_view(&KESTCM.RUNTIME.c[i], 1);
    write_fmt(IOP, stamp, chars.data(), chars.size());
  }
}

}  // namespace kest
