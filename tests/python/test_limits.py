"""The module at the edges: dates outside the span of dates refused in
every form, long event searches guarded and interruptible, and worker
threads that cannot be started."""
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import kest

DATA = os.environ["KEST_DATA"]


@pytest.fixture(scope="module")
def mars():
    return kest.Body("mars", tables=DATA)


# Each once reached the Kepler solver or an integer conversion, or wrapped
# round to another date (datetime64 beyond about 292,000 years, NaT).
@pytest.mark.parametrize("call, error", [
    (lambda b: b.seasons(np.array([3.0e6])), "span of dates"),
    (lambda b: b.seasons(np.array([-2451546.0, 0.0])), "span of dates"),
    (lambda b: b.seasons(np.array(["300000-01-01"], dtype="datetime64[D]")), "span of dates"),
    (lambda b: b.seasons(np.array(["-4713-12-31"], dtype="datetime64[D]")), "span of dates"),
    (lambda b: b.seasons(np.array([10**15], dtype="datetime64[Y]")), "span of dates"),
    (lambda b: b.seasons(["J2000+1e300"]), "span of dates"),
    (lambda b: b.events(np.datetime64("NaT"), 0.0), "NaN or NaT"),
    (lambda b: b.events(1e300, 1e300), "span of dates"),
    (lambda b: b.events("-1000000-01-01", "1000000-01-01"), "-4712 to 9999"),
    (lambda b: b.date_of_ls(0.0, after=float("nan")), "NaN or NaT"),
    (lambda b: kest.Body("Mercury", tables=DATA).events(0, 87.9 * 999000), "span of dates"),
    (lambda b: kest.Body("Mercury", tables=DATA).events("-4712-01-01", "9999-12-31", ls=list(range(40))),
     "too many events"),
    (lambda b: b.events(-2e6, 2e6, ls=list(range(360))), "too many events"),
    (lambda b: kest.Body("mars", tables=DATA, epoch=1e300), "give a year from 1000 to 3000"),
])
def test_dates_outside_the_span_are_refused(mars, call, error):
    with pytest.raises(ValueError, match=error):
        call(mars)


# datetime64 counts proleptic Gregorian years, the texts Julian ones before
# 1582: both take the years -4712 to 9999.
def test_the_ends_of_the_span_are_taken(mars):
    ends = np.array(["-4712-01-01", "9999-12-31T23:59"], dtype="datetime64[m]")
    s = mars.seasons(ends)
    assert np.all(np.isfinite(s["ls_deg"]))
    assert s["ls_deg"][1] == mars.seasons(["9999-12-31T23:59"])["ls_deg"][0]
    assert np.all(np.isfinite(mars.seasons(["-4712-01-01", "JD-0.5", "J2000+2921939.4"])["ls_deg"]))


def run_python(code, **kw):
    env = dict(os.environ, KEST_DATA=DATA)
    return subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True, env=env, **kw)


# Ctrl-C during a long search raises KeyboardInterrupt at once, not when
# the search (about 20 s here) is over.
def test_ctrl_c_interrupts_a_long_event_search():
    p = run_python(
        "import kest, os\n"
        "b = kest.Body('51 Peg b', tables=os.environ['KEST_DATA'])\n"
        "print('ready', flush=True)\n"
        "try:\n"
        "    b.events(0, 1.2e6)\n"
        "    print('finished')\n"
        "except KeyboardInterrupt:\n"
        "    print('interrupted')\n")
    assert p.stdout.readline() == "ready\n"
    time.sleep(0.5)
    p.send_signal(signal.SIGINT)
    try:
        out, _ = p.communicate(timeout=8)
    finally:
        p.kill()
    assert out == "interrupted\n"


# With no thread to be had, a long array is worked through on the calling
# thread, with the same numbers; the interpreter was once terminated.
def test_seasons_without_worker_threads(mars):
    if os.getuid() != 0 and not hasattr(os, "setuid"):
        pytest.skip("needs a user whose process limit can be set")
    days = np.linspace(-5000.0, 5000.0, 40000)
    p = run_python(
        "import kest, os, resource, sys, numpy as np\n"
        "body = kest.Body('mars', tables=os.environ['KEST_DATA'])\n"
        "if os.getuid() == 0:\n"
        "    os.setgid(65534); os.setuid(65534)\n"
        "resource.setrlimit(resource.RLIMIT_NPROC, (0, 0))\n"
        "s = body.seasons(np.linspace(-5000.0, 5000.0, 40000))\n"
        "sys.stdout.write(s['ls_deg'].tobytes().hex())\n")
    out, _ = p.communicate(timeout=60)
    assert p.returncode == 0
    np.testing.assert_array_equal(np.frombuffer(bytes.fromhex(out), dtype=float), mars.seasons(days)["ls_deg"])


# A bool is no number, and a number that is not a year is no epoch.
@pytest.mark.parametrize("call, error", [
    (lambda b: kest.Body("mars", tables=DATA, epoch=True), TypeError),
    (lambda b: kest.Body("mars", tables=DATA, epoch=0.25), ValueError),
    (lambda b: b.events(0, 1000, ls=[True]), TypeError),
    (lambda b: b.events(True, 1000), TypeError),
    (lambda b: b.date_of_ls(False, after=0), TypeError),
])
def test_values_that_are_not_what_they_seem(mars, call, error):
    with pytest.raises(error):
        call(mars)


# Bodies the model cannot hold are refused naming the value, and what the
# model lacks is warned of, in the command's words.
def test_model_limits_and_warnings(tmp_path):
    for name in os.listdir(DATA):
        if name.endswith(".tab"):
            with open(os.path.join(DATA, name)) as f:
                (tmp_path / name).write_text(f.read())
    planets = (tmp_path / "planelem.tab").read_text()
    start = planets.index("\nrates", planets.index("\nMercury"))
    (tmp_path / "planelem.tab").write_text(planets[:start] + planets[planets.index("\n", start + 1):])
    (tmp_path / "minor.tab").write_text(
        "C_END\n--\n'Far away'\n2451545.0\n1e300\n0.09\n1\n1\n1\n1\n0\n90\n0\n1\n"
        "--\n'Flat one'\n2451545.0\n2.5\n0.1\n0\n0\n0\n0\n270\n66.5607089\n0\n0.5\n")
    with pytest.warns(RuntimeWarning, match="planelem.tab: it ends inside item 9"):
        with pytest.raises(ValueError, match="the rates line of planet 1 is missing"):
            kest.Body("Mercury", tables=str(tmp_path))
    with pytest.warns(RuntimeWarning):
        with pytest.raises(ValueError, match="semi-major axis a = 1e\\+300 AU"):
            kest.Body("Far away", tables=str(tmp_path))
    with pytest.warns(RuntimeWarning, match="the pole lies along the orbit normal"):
        kest.Body("Flat one", tables=str(tmp_path))
