"""Parts of tools/validate: how it asks kest-season for its mean elements or
its apparent seasons where the program takes those options, and the events
it finds on DE405."""
import importlib.machinery
import importlib.util
import os
import sys

import numpy as np
import pytest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")


@pytest.fixture(scope="module")
def validate():
    loader = importlib.machinery.SourceFileLoader("validate", os.path.join(TOOLS, "validate"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("validate", loader))
    loader.exec_module(module)
    return module


# A stand-in for kest-season that takes --ephemeris mean and --apparent only
# where it is told to (before the subcommand, after it, or nowhere), refuses
# them elsewhere as a usage error, and answers with one row holding the words
# it was given.
STAND_IN = """#!/usr/bin/python3
import sys
EPHEMERIS, APPARENT = {ephemeris!r}, {apparent!r}
SUBCOMMANDS = ("table", "events", "sun")
words = sys.argv[1:]
sub = next(k for k, w in enumerate(words) if w in SUBCOMMANDS)
for option, where in (("--ephemeris", EPHEMERIS), ("--apparent", APPARENT)):
    if option in words:
        k = words.index(option)
        if where is None or (where == "before") != (k < sub):
            sys.exit(2)
print("date_tt,days_j2000,words")
print("2000-01-01T12:00:00.000,0," + " ".join(words[3:]))
"""


def stand_in(tmp_path, ephemeris, apparent):
    path = tmp_path / "kest-season"
    path.write_text(STAND_IN.format(ephemeris=ephemeris, apparent=apparent))
    path.chmod(0o755)
    return str(path)


@pytest.mark.parametrize("ephemeris, apparent, mean_words, apparent_words", [
    ("before", "after", "--ephemeris mean events Earth", "--ephemeris mean events --apparent Earth"),
    ("after", "after", "events --ephemeris mean Earth", "events --ephemeris mean --apparent Earth"),
    ("after", "before", "events --ephemeris mean Earth", "--apparent events --ephemeris mean Earth"),
    (None, "after", "events Earth", "events --apparent Earth"),
    (None, None, "events Earth", None),
])
def test_options_put_where_kest_season_takes_them(validate, tmp_path, ephemeris, apparent, mean_words,
                                                  apparent_words):
    season = stand_in(tmp_path, ephemeris, apparent)
    assert validate.season_option(season, validate.MEAN_ELEMENTS, "events") == ephemeris
    assert validate.season_option(season, ["--apparent"], "events") == apparent
    args = ["events", "Earth", "--from", "2000-01-01", "--to", "2000-12-31"]
    tail = " --from 2000-01-01 --to 2000-12-31"
    assert validate.run_season(season, args)[0]["words"] == mean_words + tail
    assert validate.run_season(season, args, "default")[0]["words"] == "events Earth" + tail
    if apparent_words is not None:
        with_apparent = validate.with_option(args, ["--apparent"], apparent)
        assert validate.run_season(season, with_apparent)[0]["words"] == apparent_words + tail


# Events on DE405.
sys.path.insert(0, TOOLS)
import de405  # noqa: E402


@pytest.fixture(scope="module")
def seasons(validate):
    if not os.path.exists(os.path.join(de405.DEFAULT_DIR, "table.f0i")):
        pytest.skip("DE405 is missing (Debian's casacore-data-jpl-de405, which tools/setup installs)")
    return validate.De405Seasons(de405.DE405())


@pytest.mark.parametrize("body, year", [("Mercury", 2024), ("Earth", 2025), ("Mars", 2024), ("Jupiter", 2023)])
def test_perihelia_are_the_least_distances(validate, seasons, body, year):
    # One perihelion a year (Mercury's every 88 days), each nearer the Sun
    # than an hour either side and than any date of the year, which an
    # aphelion or a turn of the Earth's monthly wobble would not be.
    lo, hi = validate.jd_of(year, 1, 1) - validate.J2000, validate.jd_of(year + 1, 1, 1) - validate.J2000
    found = seasons.perihelia(body, lo, hi)
    assert len(found) == (4 if body == "Mercury" else 1)
    year_least = np.min(seasons.at(body, np.arange(lo, hi, 0.25))[2])
    for t in found:
        near = seasons.at(body, np.array([t - 1.0 / 24.0, t, t + 1.0 / 24.0]))[2]
        assert near[1] < near[0] and near[1] < near[2]
        assert near[1] <= year_least + 1e-12 or body == "Mercury"


@pytest.mark.parametrize("body, target, year", [("Saturn", 0.0, 2009), ("Uranus", 0.0, 2007), ("Mars", 270.0, 2024),
                                                ("Earth", 90.0, 2025)])
def test_crossings_are_where_ls_is_the_target(validate, seasons, body, target, year):
    lo, hi = validate.jd_of(year, 1, 1) - validate.J2000, validate.jd_of(year + 1, 1, 1) - validate.J2000
    found = seasons.crossings(body, target, lo, hi)
    assert len(found) == 1
    ls = seasons.at(body, np.array([found[0] - 1.0, found[0], found[0] + 1.0]))[0]
    assert abs(validate.angle_diff(ls[1], target)) < 1e-6
    assert validate.angle_diff(ls[0], target) < 0.0 < validate.angle_diff(ls[2], target)
