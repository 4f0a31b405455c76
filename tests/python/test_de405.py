"""tools/de405.py, the DE405 reader of the validation, against ERFA's Earth and
planets, and the season geometry that tools/validate works out on it."""
import importlib.machinery
import importlib.util
import os
import shutil
import sys

import numpy as np
import pytest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import de405  # noqa: E402

erfa = pytest.importorskip("erfa")
if not os.path.exists(os.path.join(de405.DEFAULT_DIR, "table.f0i")):
    pytest.skip("DE405 is missing (Debian's casacore-data-jpl-de405, which tools/setup installs)",
                allow_module_level=True)


@pytest.fixture(scope="module")
def eph():
    return de405.DE405()


# TDB Julian dates over the span: its first weeks, J2000.0, dates between, and
# records of the table's second storage bucket (from 2049).
DATES = np.array([2436935.0, 2440587.5, 2444239.5, 2447892.5, 2451545.0, 2455197.5, 2458849.5, 2462502.5,
                  2466154.5, 2469807.5, 2472000.25, 2473480.0])


def test_span_and_constants(eph):
    # Whole 32-day records from before 1960 to after 2059, and the constants
    # of DE405 (AU in km, the Earth-Moon mass ratio).
    assert eph.first_jd <= 2436934.5 and eph.last_jd >= 2473459.5
    assert (eph.last_jd - eph.first_jd) == 32.0 * len(eph.rows)
    assert eph.au == 149597870.691
    assert abs(eph.emrat - 81.30056) < 1e-5


def test_earth_against_erfa_epv00(eph):
    # eraEpv00 states its largest differences from DE405 over 1900-2100:
    # 11.2 km in the heliocentric position, 5.0 mm/s in the velocity.
    r, v = eph.state("Earth", DATES)
    pvh, _ = erfa.epv00(DATES, np.zeros_like(DATES))
    assert np.max(np.linalg.norm(r - pvh["p"], axis=1)) * eph.au < 11.2
    assert np.max(np.linalg.norm(v - pvh["v"], axis=1)) * eph.au / 86400.0 < 5.0e-6


# eraPlan94's stated largest differences from JPL's DE200 over 1800-2050: in
# longitude and latitude (arcsec; their sum bounds the direction) and in the
# distance (km).
PLAN94 = [("Mercury", 1, 4 + 1, 300), ("Venus", 2, 5 + 1, 800), ("EM-Bary", 3, 6 + 1, 1000), ("Mars", 4, 17 + 1, 7700),
          ("Jupiter", 5, 71 + 5, 76000), ("Saturn", 6, 81 + 13, 267000), ("Uranus", 7, 86 + 7, 712000),
          ("Neptune", 8, 11 + 1, 253000)]


@pytest.mark.parametrize("body, number, arcsec, km", PLAN94)
def test_planets_against_erfa_plan94(eph, body, number, arcsec, km):
    dates = DATES[DATES < 2469807.5]  # to 2050
    r, _ = eph.state(body, dates)
    p = erfa.plan94(dates, np.zeros_like(dates), number)["p"]
    rn, pn = np.linalg.norm(r, axis=1), np.linalg.norm(p, axis=1)
    apart = np.degrees(np.arccos(np.clip(np.sum(r * p, axis=1) / (rn * pn), -1.0, 1.0))) * 3600.0
    assert np.max(apart) < arcsec
    assert np.max(np.abs(rn - pn)) * eph.au < km


def test_pluto_on_its_orbit(eph):
    # No ERFA theory for Pluto: its osculating semi-major axis from the vis-viva
    # equation with the Sun's GM of the table (AU^3/day^2) stays near 39.5 AU.
    r, v = eph.state("Pluto", DATES)
    a = 1.0 / (2.0 / np.linalg.norm(r, axis=1) - np.sum(v * v, axis=1) / eph.keywords["GMS"])
    assert np.all((a > 39.0) & (a < 40.0))


@pytest.mark.parametrize("body", de405.BODIES)
def test_velocity_is_the_rate_of_the_position(eph, body):
    # A central difference of 0.01 day against the velocity (the derivative of
    # the Chebyshev series scaled by the sub-interval), in AU/day.
    h = 0.005
    r1, _ = eph.state(body, DATES[1:-1], -h)
    r2, _ = eph.state(body, DATES[1:-1], h)
    _, v = eph.state(body, DATES[1:-1])
    speed = np.linalg.norm(v, axis=1)
    assert np.max(np.linalg.norm((r2 - r1) / (2 * h) - v, axis=1) / speed) < 1e-6


@pytest.mark.parametrize("body", de405.BODIES)
def test_records_join(eph, body):
    # Either side of every record's boundary, 2e-7 day apart: the same
    # position to a metre once the motion is taken out, which a wrong record,
    # sub-interval or coefficient word would break.
    edges = eph.first_jd + 32.0 * np.arange(1, len(eph.rows))
    r1, v1 = eph.state(body, edges, -1e-7)
    r2, v2 = eph.state(body, edges, 1e-7)
    jump = r2 - r1 - (v1 + v2) * 1e-7
    assert np.max(np.linalg.norm(jump, axis=1)) * eph.au < 1e-3


def test_shapes_and_refusals(eph):
    r, v = eph.state("Mars", 2451545.0)
    assert r.shape == (3,) and v.shape == (3,)
    assert eph.state("Mars", DATES)[0].shape == (len(DATES), 3)
    with pytest.raises(de405.DE405Error, match="span"):
        eph.state("Mars", eph.first_jd - 1.0)
    with pytest.raises(de405.DE405Error, match="span"):
        eph.state("Mars", np.array([2451545.0, eph.last_jd + 1.0]))
    with pytest.raises(KeyError):
        eph.state("Moon", 2451545.0)


@pytest.mark.parametrize("damage, says", [
    ("no table.dat", "cannot read"),
    ("table.f0i cut short", "runs past the end"),
    ("table.f0 cut short", "table.f0"),
])
def test_damaged_tables(tmp_path, damage, says):
    for name in ("table.dat", "table.f0", "table.f0i"):
        shutil.copy(os.path.join(de405.DEFAULT_DIR, name), tmp_path)
    name = damage.split()[1] if damage.startswith("no") else damage.split()[0]
    path = tmp_path / name
    if damage.startswith("no"):
        path.unlink()
    else:
        data = path.read_bytes()
        path.write_bytes(data[:len(data) * 2 // 3])
    with pytest.raises(de405.DE405Error, match=says):
        de405.DE405(str(tmp_path))


# The geometry of tools/validate on DE405's states.
@pytest.fixture(scope="module")
def seasons(eph):
    loader = importlib.machinery.SourceFileLoader("validate", os.path.join(TOOLS, "validate"))
    validate = importlib.util.module_from_spec(importlib.util.spec_from_loader("validate", loader))
    loader.exec_module(validate)
    return validate, validate.De405Seasons(eph)


@pytest.mark.parametrize("body", ["Mercury", "Venus", "Earth", "Mars", "Jupiter", "Saturn", "Uranus", "Neptune",
                                  "Pluto"])
def test_ls_runs_forward_and_the_sun_crosses_the_equator_and_the_tropics(seasons, body):
    # Ls grows with time on each orbit (Venus and Uranus turn retrograde about
    # the IAU north pole of the table, but move forward on their orbits). At
    # Ls = 0 and 180 the Sun stands over the equator; at Ls = 90 over the
    # latitude 90 - |90 - obliquity|, the obliquity the angle between the pole
    # and the orbit normal, and at Ls = 270 over its negative.
    validate, ref = seasons
    days = np.arange(0.0, 400.0, 1.0)
    ls = ref.at(body, days)[0]
    assert np.all(validate.angle_diff(ls[1:], ls[:-1]) > 0.0)
    # An orbit about J2000.0, or as much of it as the ephemeris holds.
    period = 365.25 * np.linalg.norm(ref.eph.state(body, validate.J2000)[0]) ** 1.5
    lo = max(ref.eph.first_jd - validate.J2000 + 1.0, -0.55 * period)
    hi = min(ref.eph.last_jd - validate.J2000 - 1.0, 0.55 * period)
    step = max(1.0, period / 400.0)
    found = 0
    for target, sign in ((0.0, 0.0), (90.0, 1.0), (180.0, 0.0), (270.0, -1.0)):
        for t in ref.crossings(body, target, lo, hi, step)[:3]:
            r, v = ref.eph.state(body, validate.J2000, np.array([t]))
            n = np.cross(r, v)[0] / np.linalg.norm(np.cross(r, v))
            obliquity = np.degrees(np.arccos(ref.poles(body, [t])[0] @ n))
            assert abs(ref.at(body, t)[1][0] - sign * (90.0 - abs(90.0 - obliquity))) < 1e-6, (target, t)
            found += 1
    assert found >= 2
