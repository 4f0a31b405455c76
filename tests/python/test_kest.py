"""The Python module kest: numbers against the season command, state files
shared with the dialogue in both directions, and bad input as exceptions."""
import os
import shutil
import subprocess

import numpy as np
import pytest

import kest

DATA = os.environ["KEST_DATA"]
SEASON = os.environ["KEST_SEASON_BINARY"]
DIALOGUE = os.environ["KEST_BINARY"]


@pytest.fixture
def workdir(tmp_path):
    for name in os.listdir(DATA):
        if name.endswith(".tab"):
            shutil.copy(os.path.join(DATA, name), tmp_path)
    return tmp_path


def command_rows(*args):
    out = subprocess.run([SEASON, "--tables", DATA, "--csv", *args], capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    header = lines[0].split(",")
    return [dict(zip(header, line.split(","))) for line in lines[1:]]


@pytest.mark.parametrize("name,epoch", [("Mars", None), ("europa", None), ("halley", None), ("51 Peg b", None),
                                        ("Mars", 2024.0), ("minor:1 Ceres", 2000.0)])
def test_seasons_equal_the_command(name, epoch):
    args = (["--epoch", str(epoch)] if epoch is not None else []) + [
        "table", name, "--from", "2024-01-01", "--to", "2026-01-01", "--step", "7.25d"]
    rows = command_rows(*args)
    body = kest.Body(name, tables=DATA, epoch=epoch)
    days = np.array([float(r["days_j2000"]) for r in rows])
    s = body.seasons(days)
    for key, column in [("ls", "ls_deg"), ("subsolar_latitude", "subsolar_latitude_planetocentric_deg"),
                        ("distance", "distance_au"), ("true_anomaly", "true_anomaly_deg"), ("flux", "flux_w_m2")]:
        # The command prints the shortest text of each double: equal to the bit.
        assert np.array_equal(s[key], np.array([float(r[column]) for r in rows])), key
    if "mars_year" in rows[0]:
        assert list(s["mars_year"]) == [int(r["mars_year"]) for r in rows]


def test_dates_in_three_forms_agree():
    body = kest.Body("mars", tables=DATA)
    a = body.seasons(np.array([9838.5]))
    b = body.seasons(["2026-12-09", "JD2461383.5", "J2000+9838.5"])
    c = body.seasons(np.array(["2026-12-09T00:00"], dtype="datetime64[m]"))
    assert np.all(b["ls"] == a["ls"][0]) and c["ls"][0] == a["ls"][0]


def test_events_and_date_of_ls_equal_the_command():
    body = kest.Body("Mars", tables=DATA)
    mine = body.events("2020-01-01", "2024-01-01")
    theirs = command_rows("events", "Mars", "--from", "2020-01-01", "--to", "2024-01-01")
    assert [e["event"] for e in mine] == [r["event"] for r in theirs]
    assert [e["days"] for e in mine] == [float(r["days_j2000"]) for r in theirs]
    assert [e["mars_year"] for e in mine] == [int(r["mars_year"]) for r in theirs]
    start = body.date_of_ls(0.0, after="2021-01-01")
    assert start["date"].startswith("2021-02-07") and start["mars_year"] == 36


def test_bodies_and_properties():
    names = {b["name"]: b for b in kest.bodies(tables=DATA)}
    assert names["Phobos"]["planet"] == "Mars" and names["Phobos"]["kind"] == "satellite"
    mars = kest.Body("mars", tables=DATA)
    assert mars.name == "Mars" and mars.kind == "planet"
    assert 25.0 < mars.obliquity < 25.3
    assert abs(mars.rotation_period - 24.6229) < 1e-3
    assert abs(mars.orbital_period - 686.98) < 0.1
    assert mars.perihelion_date.startswith("1999-")


def dialogue(workdir, answers):
    return subprocess.run([DIALOGUE], input=answers, cwd=workdir, capture_output=True, text=True)


def table_lines(prt):
    return [line for line in prt.splitlines() if len(line) == 67 and "YEAR" not in line]


def test_state_files_both_ways(workdir):
    # The dialogue saves Mars to record 2 and to a text file; Python reads both.
    ephemeris = "3\n5 9000 30\n0 0 x\n0 0 0\n"
    run = dialogue(workdir, "p\n1\n1\n4\n0\n0\n/\n" + ephemeris + "2\n2\n1\n2\n2\n2\n2\nmars.mat\n0\n")
    assert run.returncode == 0, run.stdout
    before = table_lines((workdir / "kest.prt").read_text())
    binary = kest.read_state(str(workdir / "KESTCM.DAT"), record=2)
    text = kest.read_state(str(workdir / "mars.mat"))
    assert binary["PLANUM"] == 104.0 and binary["BFRM"].shape == (3, 3)
    assert abs(text["ECC"] - binary["ECC"]) < 1e-7 and text["title"].startswith("Mars:Mars")
    # Python writes them back; the binary record is bit-identical to the dialogue's.
    raw = (workdir / "KESTCM.DAT").read_bytes()[240:480]
    kest.write_state(str(workdir / "copy.DAT"), binary, record=1)
    assert (workdir / "copy.DAT").read_bytes() == raw
    kest.write_state(str(workdir / "KESTCM.DAT"), binary, record=5)
    kest.write_state(str(workdir / "py.mat"), text, title="from Python")
    # The dialogue restores each and prints the same ephemeris.
    for restore in ("2\n1\n1\n5\n", "2\n1\n2\npy.mat\n"):
        again = dialogue(workdir, "p\n" + restore + ephemeris + "0\n")
        assert again.returncode == 0, again.stdout
        lines = table_lines((workdir / "kest.prt").read_text())
        if restore.endswith("5\n"):
            assert lines == before
        else:
            # Seven digits of text: the same table to its printed digits but the last.
            assert [l[:30] for l in lines] == [l[:30] for l in before]


@pytest.mark.parametrize("call,error", [
    (lambda: kest.Body("Europe", tables=DATA), r"Europa \(Jupiter\)"),
    (lambda: kest.Body("Xyzzyq", tables=DATA), "no body"),
    (lambda: kest.Body("Ceres", tables=DATA), r"name the table: minor:1 Ceres"),
    (lambda: kest.Body("\x01" * 3 + "Q" * 100, tables=DATA), r"no body '\?\?\?Q{37}\.\.\.'"),
    (lambda: kest.Body("mars", tables=DATA).seasons(["2026-02-30"]), "no such day"),
    (lambda: kest.Body("mars", tables=DATA).seasons(["9838.5"]), "bare number"),
    (lambda: kest.Body("mars", tables=DATA).events("2026-01-01", "2025-01-01"), "after"),
    (lambda: kest.Body("mars", tables=DATA, epoch=float("nan")), "epoch"),
    (lambda: kest.read_state(os.path.join(DATA, "planelem.tab")), "not a number"),
    (lambda: kest.read_state(os.path.join(DATA, "planelem.tab"), record=99), "record"),
])
def test_bad_input_is_value_error(call, error):
    with pytest.raises(ValueError, match=error):
        call()


def test_odd_dates_never_crash(tmp_path):
    body = kest.Body("mars", tables=DATA)
    s = body.seasons(np.array([np.nan, np.inf, 0.0]))
    assert np.isnan(s["ls"][0]) and np.isnan(s["ls"][1]) and not np.isnan(s["ls"][2])
    assert body.seasons(np.array([], dtype=float))["ls"].shape == (0,)
    assert body.seasons(np.array(["NaT"], dtype="datetime64[s]"))["ls"][0] != body.seasons([0.0])["ls"][0]
    with pytest.raises(TypeError):
        body.seasons(np.array([1 + 2j]))
    with pytest.raises(ValueError):
        body.seasons(np.zeros((2, 2)))
    with pytest.raises(FileNotFoundError):
        kest.read_state(str(tmp_path / "missing.mat"))
    with pytest.raises(FileNotFoundError):
        kest.Body("mars", tables=str(tmp_path))
    cut = tmp_path / "KESTCM.DAT"
    cut.write_bytes(b"\0" * 100)
    with pytest.raises(ValueError, match="cut short"):
        kest.read_state(str(cut), record=1)
