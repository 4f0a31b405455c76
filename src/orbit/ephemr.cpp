// The ephemeris table of menu option 3.
#include <cmath>

#include "record/kestcm.hpp"
#include "orbit/korbit.hpp"
#include "time/ktime.hpp"
#include "textio/textio.hpp"

namespace kest {

namespace {

// A state that holds an elliptic orbit: a finite, nonzero period, a positive
// semi-major axis and an eccentricity in [0, 1).
bool usable_orbit() {
  const KestCommon& c = KESTCM;
  return std::isfinite(c.OPERIOD) && c.OPERIOD != 0.0 && c.SJA > 0.0 && std::isfinite(c.SJA) && c.ECC >= 0.0 &&
         c.ECC < 1.0;
}

}  // namespace

void reset_ephemr_work() { ephemr_work = EphemrWork{}; }

void ephemr() {
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
    w.N2 = 0;
    write_free(6, {"?* #TIMES, Date1 as MJD, DEL. days"});
    const ReadStatus st1 = read_free(IOK, {w.N2, w.DJUL, w.DELJUL});
    if (st1 == ReadStatus::conversion_error) continue;
    if (st1 == ReadStatus::end_of_file || w.N2 == 0) return;
    if (w.N2 > 0 && !usable_orbit()) {
      write_free(6, {"No elliptic orbit is set up: choose option 1 (element tables) or option 2 (restore a state)"});
      write_free(6, {"before asking for ephemerides."});
      continue;
    }

    // Prompt 2: spacecraft period, its epoch, and the title of the table.
    for (;;) {
      write_free(6, {"?* ORBIT PERIOD, MJD4 OF ORBIT 0., TITLE"});
      write_free(6, {"  NEGATIVE PERIOD IS SPACECRAFT NUMBER; JD0 IGNORED"});
      write_free(6, {"  ZERO PERIOD; JD0 IGNORED."});
      const ReadStatus st2 = read_free(IOK, {w.ORBPER, w.ORB0, w.TITLE});
      if (st2 == ReadStatus::end_of_file) return;
      if (st2 == ReadStatus::ok) break;
    }

    const std::int32_t IOP = KESTCM.IOP;
    write_fmt(IOP, page, {});
    write_fmt(IOP, stamp, {KESTCM.RUNTIME, w.TITLE});
    write_fmt(IOP, params, {w.N2, w.DJUL, w.DELJUL, w.ORBPER, w.ORB0});
    write_fmt(IOP, columns, {});
    w.LINE = 5;

    for (w.I = 1; w.I <= w.N2; ++w.I) {
      w.DJU5 = static_cast<double>(w.I - 1) * w.DELJUL + w.DJUL;
      kestit(1, w.DJU5, w.SUBS, w.SDEC, w.DAU);
      w.DJU4 = static_cast<float>(w.DJU5);
      caldate(w.DJU4, w.IYEAR, w.IMON, w.IDAY, w.FDAY, w.IDATE, w.MONTH, w.WDAY);
      w.FDAY = static_cast<float>(w.IDAY) + w.FDAY;
      spcrev(w.ORBPER, w.ORB0, w.DJU4, w.REV);
      if (w.LINE > 57) {
        write_fmt(IOP, page, {});
        write_fmt(IOP, columns, {});
        w.LINE = 3;
      }
      write_fmt(IOP, data,
                {w.IYEAR, w.MONTH, w.FDAY, w.REV, w.DAU, w.SUBS, w.SDEC, w.DJU5, w.WDAY, w.IDATE});
      ++w.LINE;
    }
  }
}

}  // namespace kest
