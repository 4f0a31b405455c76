"""Every date type the module takes names the instant it should, under one
calendar; results as DataFrames with the CSV's columns; the package as
Python's tools see it."""
import datetime as dt
import inspect
import io
import os
import subprocess
import sys
import warnings

import numpy as np
import pytest

import kest

DATA = os.environ["KEST_DATA"]
SEASON = os.environ["KEST_SEASON_BINARY"]

pd = pytest.importorskip("pandas")
Time = pytest.importorskip("astropy.time").Time
u = pytest.importorskip("astropy.units")

# 2026-12-09T00:00 TT, and the same instant of UTC (TT - UTC = 69.184 s).
TT = 9838.5
UTC = 9838.5 + 69.184 / 86400.0


@pytest.fixture(scope="module")
def mars():
    return kest.Body("Mars", tables=DATA)


@pytest.mark.parametrize("name,dates,expected", [
    ("float", 9838.5, [TT]),
    ("int", 9838, [9838.0]),
    ("list of floats", [9838.5, 9839.5], [TT, TT + 1]),
    ("datetime64[D]", np.datetime64("2026-12-09"), [TT]),
    ("datetime64[ns] array", np.array(["2026-12-09T00:00", "2026-12-10T00:00"], dtype="datetime64[ns]"), [TT, TT + 1]),
    ("datetime64[s] list", [np.datetime64("2026-12-09T12:00:00")], [TT + 0.5]),
    ("datetime", dt.datetime(2026, 12, 9), [TT]),
    ("aware datetime", dt.datetime(2026, 12, 9, 1, tzinfo=dt.timezone(dt.timedelta(hours=1))), [UTC]),
    ("date", dt.date(2026, 12, 9), [TT]),
    ("Timestamp", pd.Timestamp("2026-12-09"), [TT]),
    ("aware Timestamp", pd.Timestamp("2026-12-09 01:00", tz="Europe/Paris"), [UTC]),
    ("DatetimeIndex", pd.date_range("2026-12-09", periods=2), [TT, TT + 1]),
    ("aware DatetimeIndex", pd.date_range("2026-12-09", periods=2, tz="UTC"), [UTC, UTC + 1]),
    ("Series", pd.Series(pd.date_range("2026-12-09", periods=2)), [TT, TT + 1]),
    ("aware Series", pd.Series(pd.date_range("2026-12-08 19:00", periods=2, tz="America/New_York")), [UTC, UTC + 1]),
    ("Time utc", Time("2026-12-09T00:00:00", scale="utc"), [UTC]),
    ("Time tt array", Time(["2026-12-09", "2026-12-10"], scale="tt"), [TT, TT + 1]),
    ("Time tdb", Time("2026-12-09", scale="tdb"), None),
    ("Quantity of hours", 236124.0 * u.hour, [TT]),
    ("Quantity of days", [9838.5, 9839.5] * u.day, [TT, TT + 1]),
    ("ISO text", "2026-12-09", [TT]),
    ("ISO text, space form", "2026-12-09 00:00:00", [TT]),
    ("ISO text, Z", "2026-12-09T00:00:00Z", [UTC]),
    ("ISO texts", ["2026-12-09", "2026-12-10T00:00"], [TT, TT + 1]),
    ("Julian date text", "JD2461383.5", [TT]),
    ("mixed sequence", ["2026-12-09", dt.datetime(2026, 12, 10), 9840.5], [TT, TT + 1, TT + 2]),
])
def test_every_date_type_names_its_instant(mars, name, dates, expected):
    if name == "Time tdb":
        # TDB differs from TT by at most 1.7 ms: astropy's own conversion.
        t = Time("2026-12-09", scale="tdb")
        expected = [(t.tt.jd1 - 2451545.0) + t.tt.jd2]
    got = mars.seasons(dates)["days_j2000"]
    np.testing.assert_allclose(got, expected, rtol=0, atol=2e-9)
    # Each is also one date where one is asked for.
    if len(expected) == 1 and not isinstance(dates, list):
        e = mars.events(dates, TT + 800.0)
        assert e and e[0]["days_j2000"] > expected[0] - 1e-9


def test_utc_flag_makes_naive_values_utc(mars):
    for naive in (np.datetime64("2026-12-09"), dt.datetime(2026, 12, 9), pd.Timestamp("2026-12-09"), "2026-12-09 00:00:00 UTC"):
        assert mars.seasons(naive, utc=True)["days_j2000"][0] == pytest.approx(UTC, abs=2e-9)
    # A value that says its scale keeps it.
    assert mars.seasons(Time("2026-12-09", scale="tt"), utc=True)["days_j2000"][0] == pytest.approx(TT, abs=1e-9)


@pytest.mark.parametrize("text,value", [
    ("1500-01-01", np.datetime64("1500-01-01")),
    ("1582-10-14T06:00", np.datetime64("1582-10-14T06:00")),
    ("0001-03-01", np.datetime64("0001-03-01")),
    ("-0500-06-30", np.datetime64("-0500-06-30")),
    ("1500-03-01", dt.datetime(1500, 3, 1)),
])
def test_one_calendar_for_texts_and_datetime64(mars, text, value):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kest.ModelWarning)
        a = mars.seasons(text)
        b = mars.seasons(value)
        # (astropy takes no datetime64 before the year 1.)
        c = mars.seasons(Time(value, scale="tt")) if not text.startswith("-") else b
    assert a["days_j2000"][0] == b["days_j2000"][0] == pytest.approx(c["days_j2000"][0], abs=1e-9)
    assert a["date_tt"][0] == np.datetime64(value, "us")
    # The text of an event is in the same calendar as its datetime64.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kest.ModelWarning)
        ev = mars.events(text, a["days_j2000"][0] + 700.0)[0]
    delta = np.datetime64(ev["date_tt"]) - mars.seasons(ev["days_j2000"])["date_tt"][0]
    assert abs(delta) <= np.timedelta64(500, "us")
    # Its warning names the date as it was given (on the mean elements,
    # whose years the date lies outside).
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        kest.Body("Mars", tables=DATA, ephemeris="mean").seasons(text)
    assert any(str(w.message).startswith(text[:10]) for w in caught), [str(w.message) for w in caught]


@pytest.mark.parametrize("dates,error,says", [
    (object(), TypeError, "not object"),
    ([True, False], TypeError, "bool"),
    ([1 + 2j], TypeError, "complex"),
    (3.0 * u.deg, ValueError, "not of time"),
    ([1.0, 2.0] * u.m, ValueError, "not of time"),
    ("2026-13-01", ValueError, "no month 13"),
    ("1500-02-29", ValueError, "no such day"),  # not a leap year in the proleptic Gregorian calendar
    (np.datetime64("1959-12-31"), ValueError, "UTC"),
])
def test_dates_refused_with_their_reason(mars, dates, error, says):
    utc = isinstance(dates, np.datetime64)
    with pytest.raises(error, match=says):
        mars.seasons(dates, utc=utc)


def test_angles_as_quantities(mars):
    a = mars.sun("2026-12-09", 18.44, 77.45)
    b = mars.sun("2026-12-09", 18.44 * u.deg, (77.45 * u.deg).to(u.rad))
    np.testing.assert_allclose(b["ltst"], a["ltst"], rtol=1e-12)
    with pytest.raises(ValueError, match="not an angle"):
        mars.sun("2026-12-09", 18.44 * u.m, 0)


def command_frame(*args):
    out = subprocess.run([SEASON, "--tables", DATA, "--csv", *args], capture_output=True, text=True, check=True).stdout
    return pd.read_csv(io.StringIO(out), float_precision="round_trip")


# Each result as a DataFrame has the CSV's columns, in its order, with a
# datetime64 date column naming the CSV's dates, and its numbers.
@pytest.mark.parametrize("args,call", [
    (["table", "Mars", "--from", "2026-01-01", "--to", "2026-03-01", "--step", "10d"],
     lambda m, d: m.seasons(d, as_frame=True)),
    (["--utc", "table", "Mars", "--from", "2026-01-01", "--to", "2026-03-01", "--step", "10d"],
     lambda m, d: m.seasons(d, utc=True).to_frame()),
    (["events", "Mars", "--from", "2026-01-01", "--to", "2028-01-01"],
     lambda m, d: m.events("2026-01-01", "2028-01-01", as_frame=True)),
    (["table", "Mars", "Venus", "--from", "2026-01-01", "--to", "2026-03-01", "--step", "10d"],
     lambda m, d: kest.seasons(["Mars", "Venus"], d[: len(d) // 2], tables=DATA, as_frame=True)),
    (["insolation", "Mars", "--from", "2026-01-01", "--to", "2026-01-03", "--step", "1d", "--lat-step", "30"],
     lambda m, d: m.insolation(np.unique(d), np.arange(-90.0, 91.0, 30.0), as_frame=True)),
])
def test_frames_have_the_csv_columns(mars, args, call):
    want = command_frame(*args)
    got = call(mars, want["days_j2000"].to_numpy())
    date = "date_utc" if "--utc" in args else "date_tt"
    common = [c for c in want.columns if c != "day"]
    assert [c for c in got.columns if c in want.columns] == common
    assert str(got[date].dtype) == "datetime64[ns]"
    delta = (got[date] - pd.to_datetime(want[date])).abs().max()
    assert delta <= pd.Timedelta(milliseconds=1)
    for c in common:
        if c == date:
            continue
        if c in ("body", "event"):
            assert list(got[c]) == list(want[c]), c
        else:
            # Events are found by a search of their own in each face: to its rounding.
            tol = 1e-12 if "event" in want.columns else 0
            np.testing.assert_allclose(got[c].to_numpy(dtype=float, na_value=np.nan), want[c].to_numpy(dtype=float), rtol=tol, atol=tol, err_msg=c)


def test_frame_dates_outside_pandas_range_stay_whole(mars):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kest.ModelWarning)
        f = mars.seasons([-1e6, 0.0, np.nan], as_frame=True)
    assert list(f["date_tt"]) == ["-0738-02-03T12:00:00.000", "2000-01-01T12:00:00.000", None]


def test_the_package_as_python_tools_see_it():
    assert kest.__version__ == subprocess.run([SEASON, "--version"], capture_output=True, text=True).stdout.split()[-1]
    for f in (kest.Body.seasons, kest.Body.sun, kest.Body.insolation, kest.Body.events, kest.seasons, kest.write_state):
        sig = inspect.signature(f)
        assert "Parameters" in f.__doc__ and "Examples" in f.__doc__, f.__name__
        assert f is kest.write_state or "Returns" in f.__doc__, f.__name__
        for p in sig.parameters:
            assert p in ("self", "cls") or p in f.__doc__, (f.__name__, p)
    assert inspect.signature(kest.Body.seasons).parameters["as_frame"].kind is inspect.Parameter.KEYWORD_ONLY
    here = os.path.dirname(kest.__file__)
    assert os.path.isfile(os.path.join(here, "__init__.pyi")) and os.path.isfile(os.path.join(here, "py.typed"))
    # The stub names what the package has.
    stub = open(os.path.join(here, "__init__.pyi")).read()
    for name in kest.__all__:
        assert name in stub, name


def test_kest_tables_variable(tmp_path):
    env = dict(os.environ, KEST_TABLES=DATA)
    code = "import kest; print(kest.Body('Mars').name)"
    r = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert r.returncode == 0 and r.stdout.strip() == "Mars", r.stderr
    env["KEST_TABLES"] = str(tmp_path / "nowhere")
    r = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert "FileNotFoundError" in r.stderr and "KEST_TABLES names" in r.stderr
    # tables= still wins.
    code = f"import kest; print(kest.Body('Mars', tables={DATA!r}).name)"
    r = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
