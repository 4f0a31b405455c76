// The ephemeris table of menu option 3.
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <string>

#include "math/kmath.hpp"
#include "record/kestcm.hpp"
#include "orbit/korbit.hpp"
#include "time/ktime.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// What makes the state unusable for a table, or "" when it holds an
// elliptic orbit and a proper body frame: positions 1 to 30 all finite, a
// positive period and semi-major axis, an eccentricity in [0, 1), and BFRM
// a rotation to 1e-5 (seven digits of an ASCII state file pass).
std::string state_fault() {
  const KestCommon& c = KESTCM;
  for (int k = 1; k <= NSAVED; ++k) {
    if (!std::isfinite(c.pos(k))) {
      const std::string_view label = TI1[static_cast<std::size_t>(k - 1)];
      // Position 20 holds the debug flags, listed under a second "BLIP".
      const std::string name = k == 20 ? "KDEBUG" : std::string(label.substr(0, label.find(' ')));
      return name + " is not a finite number";
    }
  }
  if (!(c.OPERIOD > 0.0)) return "OPERIOD is not above 0";
  if (!(c.SJA > 0.0)) return "SJA is not above 0";
  if (!(c.ECC >= 0.0 && c.ECC < 1.0)) return "ECC is not in [0, 1)";
  double det_dev = 0.0, norm_dev = 0.0;
  rotest(c.BFRM, det_dev, norm_dev);
  if (!(det_dev <= 1e-5 && norm_dev <= 1e-5)) return "BFRM is not a rotation";
  return {};
}

// Ctrl-C at a terminal during a table: the table ends at the next line
// boundary and the menu comes back. Runs whose input is not a terminal keep
// the default signal behaviour.
volatile std::sig_atomic_t interrupted = 0;
extern "C" void on_interrupt(int) { interrupted = 1; }

class InterruptWatch {
 public:
  InterruptWatch() {
    interrupted = 0;
    if (::isatty(0) != 1) return;
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    active_ = ::sigaction(SIGINT, &sa, &old_) == 0;
  }
  ~InterruptWatch() {
    if (active_) ::sigaction(SIGINT, &old_, nullptr);
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct sigaction old_ {};
  bool active_ = false;
};

// Working values of the table, kept between calls so that an answer cut
// short by a slash leaves the earlier values in place.
struct EphemrWork {
  std::int32_t N2 = 0;  // number of dates
  double DJUL = 0.0;    // first date, days from J2000.0
  double DELJUL = 0.0;  // step between dates, days
  float ORBPER = 0.0F;  // spacecraft period, days; 0 none; negative a built-in spacecraft
  float ORB0 = 0.0F;    // date of spacecraft revolution 0
  FixedText<28> TITLE;  // title of the table
};
EphemrWork ephemr_work;

}  // namespace

void reset_ephemeris_dialogue() { ephemr_work = EphemrWork{}; }

bool ephemr() {
  bool refused = false;
  static const Format page{"('1')"};
  static const Format stamp{"(1X,A,4X,A)"};
  static const Format params{"(' N2=',I4,' DJUL=',F10.2,' DELJUL=',F8.2,'  ORBPER=',F10.4,' ORB0=',F12.4)"};
  static const Format columns{
      "('0YEAR MON  DAY   REV #  DIS A.U.  ',                       ' L.SUB S  S.DEC      MJD4  DAY DAY#'/)"};
  static const Format data{"(1X,I4,A4,F6.2,F7.1,F10.6,1X,2F7.2,F10.2,1X,A4,I5)"};
  EphemrWork& w = ephemr_work;
  const std::int32_t IOK = KESTCM.IOK;

  for (;;) {
    // Prompt 1: number of dates, first date, step.
    const ReadStatus st1 = ask(
        IOK,
        [&] {
          w.N2 = 0;
          write_free(6, {"?* #TIMES, Date1 as MJD, DEL. days"});
        },
        {w.N2, w.DJUL, w.DELJUL});
    if (st1 == ReadStatus::end_of_file || w.N2 == 0) return !refused;
    if (const std::string fault = w.N2 > 0 ? state_fault() : std::string(); !fault.empty()) {
      write_free(6, {"The state cannot give ephemerides: ", fault});
      refused = true;
      write_free(6, {"No elliptic orbit is set up: choose option 1 (element tables) or option 2 (restore a state)"});
      write_free(6, {"before asking for ephemerides."});
      continue;
    }

    // Prompt 2: spacecraft period, its epoch, and the title of the table.
    const ReadStatus st2 = ask(
        IOK,
        [] {
          write_free(6, {"?* ORBIT PERIOD, MJD4 OF ORBIT 0., TITLE"});
          write_free(6, {"  NEGATIVE PERIOD IS SPACECRAFT NUMBER; JD0 IGNORED"});
          write_free(6, {"  ZERO PERIOD; JD0 IGNORED."});
        },
        {w.ORBPER, w.ORB0, w.TITLE});
    if (st2 == ReadStatus::end_of_file) return !refused;

    const std::int32_t IOP = KESTCM.IOP;
    write_fmt(IOP, page, {});
    write_fmt(IOP, stamp, {KESTCM.RUNTIME, w.TITLE});
    write_fmt(IOP, params, {w.N2, w.DJUL, w.DELJUL, w.ORBPER, w.ORB0});
    write_fmt(IOP, columns, {});
    std::int32_t LINE = 5;  // lines on the current page

    const InterruptWatch watch;
    // Progress of a long table, when standard error is a terminal.
    ProgressLine progress(" kest: line", "lines", w.N2);
    for (std::int32_t I = 1; I <= w.N2; ++I) {
      if ((I & 63) == 0) {
        // A print file that cannot take the table any more stops it.
        if (unit_failed(IOP)) {
          const std::string text = "kest: print output could not be written: the table stops before line " +
                                   std::to_string(I) + " of " + std::to_string(w.N2) + "\n";
          [[maybe_unused]] const ssize_t r = ::write(2, text.data(), text.size());
          return false;
        }
        progress.at(I - 1);
      }
      if (interrupted != 0) {
        write_free(6, {"Table interrupted after line", I - 1, " of", w.N2});
        return !refused;
      }
      double DJU5 = static_cast<double>(I - 1) * w.DELJUL + w.DJUL;
      double SUBS = 0.0, SDEC = 0.0, DAU = 0.0;
      const auto DJU4 = static_cast<float>(DJU5);
      // The calendar takes a date from 1220000 on as a full Julian date; the
      // geometry then takes the same instant as days from J2000.0.
      double TMJD = DJU4 < FULL_JD_FROM ? DJU5 : DJU5 - DJBASE;
      kestit(1, TMJD, SUBS, SDEC, DAU);
      std::int32_t IYEAR = 0, IMON = 0, IDAY = 0, IDATE = 0;
      float FDAY = 0.0F;
      FixedText<3> MONTH, WDAY;
      caldate(DJU4, IYEAR, IMON, IDAY, FDAY, IDATE, MONTH, WDAY);
      FDAY = static_cast<float>(IDAY) + FDAY;  // day of the month with its fraction
      float REV = 0.0F;
      spcrev(w.ORBPER, w.ORB0, DJU4, REV);
      if (LINE > 57) {
        write_fmt(IOP, page, {});
        write_fmt(IOP, columns, {});
        LINE = 3;
      }
      write_fmt(IOP, data, {IYEAR, MONTH, FDAY, REV, DAU, SUBS, SDEC, DJU5, WDAY, IDATE});
      ++LINE;
    }
  }
}

}  // namespace kest
