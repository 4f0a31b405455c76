"""The Python module kest: numbers against the season command, state files
shared with the dialogue in both directions, and bad input as exceptions."""
import errno
import os
import shutil
import subprocess
import sys

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
    # The module's columns are the CSV's, by name and order.
    assert list(s.to_frame().columns) == list(rows[0])
    for column in rows[0]:
        if column in ("date_tt", "mars_year"):
            continue
        # The command prints the shortest text of each double: equal to the bit.
        assert np.array_equal(s[column], np.array([float(r[column]) for r in rows])), column
    if "mars_year" in rows[0]:
        assert list(s["mars_year"]) == [int(r["mars_year"]) for r in rows]


@pytest.mark.parametrize("name,dates,says", [
    ("Mars", ["1990-01-01", "2040-01-01"], []),
    ("Titan", ["2026-01-01", "2070-01-01"], ["'Titan' moves with Saturn, whose positions"]),
    # The Earth on its own positions; the barycentre past their years.
    ("Earth", ["2026-01-01"], []),
    ("EM-Bary", ["2026-01-01", "2150-01-01"], ["'EM-Bary' moves on the orbit of the Earth-Moon barycentre",
                                               "2150-01-01 lies outside 1900 to 2100, the years of the positions",
                                               "2150-01-01 lies outside 1800 to 2050"]),
    ("halley", ["1986-02-01"], ["the spin of '1P Halley", "no prime meridian is known"]),
    ("1 Ceres (epoch", ["2040-01-01"], ["no prime meridian", "2040-01-01 lies 20 years from"]),
])
def test_model_limits_are_warned_once_a_call(name, dates, says):
    import warnings
    body = kest.Body(name, tables=DATA)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        body.seasons(dates * 50)
    assert len(caught) == len(says) and all(str(w.message).startswith(s) for w, s in zip(caught, says)), \
        [str(w.message) for w in caught]
    assert all(issubclass(w.category, kest.ModelWarning) and issubclass(w.category, UserWarning) for w in caught)


def test_utc_in_every_form_is_the_same_instant():
    import datetime
    import zoneinfo
    mars = kest.Body("Mars", tables=DATA)
    paris = zoneinfo.ZoneInfo("Europe/Paris")
    tt = mars.seasons(["2021-02-18T20:56:09.184"])["days_j2000"][0]  # TT is UTC + 69.184 s in 2021
    forms = [
        (["2021-02-18T20:55Z"], {}),
        ("2021-02-18 21:55+01:00", {}),
        (datetime.datetime(2021, 2, 18, 21, 55, tzinfo=paris), {}),
        ([datetime.datetime(2021, 2, 18, 20, 55)], {"utc": True}),
        (np.array(["2021-02-18T20:55"], dtype="datetime64[s]"), {"utc": True}),
    ]
    try:
        import pandas as pd
        forms.append((pd.DatetimeIndex(["2021-02-18 15:55"], tz="America/New_York"), {}))
        forms.append((pd.Series([pd.Timestamp("2021-02-18 20:55", tz="UTC")]), {}))
    except ImportError:
        pass
    for dates, kw in forms:
        assert abs(mars.seasons(dates, **kw)["days_j2000"][0] - tt) < 1e-9, (dates, kw)
    # Naive values stay TT.
    assert mars.seasons(datetime.datetime(2021, 2, 18, 20, 56, 9, 184000))["days_j2000"][0] == pytest.approx(tt, abs=1e-9)
    with pytest.raises(ValueError, match="UTC, which begins in 1960"):
        mars.seasons(np.array(["1950-01-01"], dtype="datetime64[D]"), utc=True)
    with pytest.raises(ValueError, match="begins in 1960"):
        mars.events("1959-01-01T00:00Z", "1961-01-01")


def test_sun_equals_the_command_and_mars_time_its_examples():
    rows = command_rows("sun", "Mars", "--lat", "18.44", "--lon", "77.45", "--from", "2021-02-18T20:55Z", "--to",
                        "2021-03-01", "--step", "7.3h", "--landing", "2021-02-18T20:55Z")
    mars = kest.Body("Mars", tables=DATA)
    s = mars.sun(np.array([float(r["days_j2000"]) for r in rows]), 18.44, 360 - 77.45, west=True,
                 landing="2021-02-18T20:55Z")
    for key in ["solar_zenith_deg", "solar_azimuth_deg", "insolation_w_m2", "day_length_h", "msd", "sol"]:
        assert np.array_equal(s[key], np.array([float(r[key]) for r in rows])), key
    clock = lambda t: int(t[:2]) + int(t[3:5]) / 60 + int(t[6:]) / 3600
    for key in ["ltst", "lmst", "sunrise_ltst", "mtc"]:
        got = np.array([clock(r[key]) for r in rows])
        assert np.all(np.abs((s[key] - got + 12) % 24 - 12) < 0.6 / 3600), key
    # Mars time of the worked example: 2000-01-06T00:00 UTC, MTC 23:59:39.
    t = mars.mars_time(np.datetime64("2000-01-06T00:00"), 0.0, utc=True)
    assert t["msd"][0] == pytest.approx(44795.99976, abs=1e-5) and t["mtc"][0] == pytest.approx(23.99425, abs=2e-5)
    with pytest.raises(ValueError, match="not Mars"):
        kest.Body("Earth", tables=DATA).mars_time([0.0], 0.0)


def test_insolation_grid_has_polar_night_and_day():
    mars = kest.Body("Mars", tables=DATA)
    start = mars.date_of_ls(90, after="2026-01-01")["days_j2000"]
    g = mars.insolation([start, start + 10.0], [-90, -60, 0, 60, 90])
    assert g["insolation_w_m2"].shape == (2, 5) and g["ls_deg"][0] == pytest.approx(90.0, abs=1e-6)
    assert list(g["day_fraction"][0]) == pytest.approx([0.0, 0.0, 0.5, 1.0, 1.0], abs=0.2)
    assert g["insolation_w_m2"][0, 0] == 0.0 and g["day_fraction"][0, 4] == 1.0
    assert g["insolation_w_m2"][0, 4] > g["insolation_w_m2"][0, 2]  # the summer pole gets the most
    with pytest.raises(ValueError, match="-90 to 90"):
        mars.insolation([start], [91])
    with pytest.raises(ValueError, match="-90 to 90"):
        mars.sun([start], 95, 0)


def test_dates_in_three_forms_agree():
    body = kest.Body("mars", tables=DATA)
    a = body.seasons(np.array([9838.5]))
    b = body.seasons(["2026-12-09", "JD2461383.5", "J2000+9838.5"])
    c = body.seasons(np.array(["2026-12-09T00:00"], dtype="datetime64[m]"))
    assert np.all(b["ls_deg"] == a["ls_deg"][0]) and c["ls_deg"][0] == a["ls_deg"][0]


def test_events_and_date_of_ls_equal_the_command():
    body = kest.Body("Mars", tables=DATA)
    mine = body.events("2020-01-01", "2024-01-01")
    theirs = command_rows("events", "Mars", "--from", "2020-01-01", "--to", "2024-01-01")
    assert [e["event"] for e in mine] == [r["event"] for r in theirs]
    assert [e["days_j2000"] for e in mine] == [float(r["days_j2000"]) for r in theirs]
    assert [e["mars_year"] for e in mine] == [int(r["mars_year"]) for r in theirs]
    start = body.date_of_ls(0.0, after="2021-01-01")
    assert start["date_tt"].startswith("2021-02-07") and start["mars_year"] == 36


def test_bodies_and_properties():
    names = {b["name"]: b for b in kest.bodies(tables=DATA)}
    assert names["Phobos"]["planet"] == "Mars" and names["Phobos"]["kind"] == "satellite"
    assert names["Phobos"]["orbit"] == "Mars's orbit" and names["Mars"]["orbit"] is None
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
    (lambda: kest.Body("2", tables=DATA), r"did you mean 2 Pallas \(minor body\), 25143 Itokawa"),
    (lambda: kest.Body("\x01" * 3 + "Q" * 100, tables=DATA), r"no body '\?\?\?Q{37}\.\.\.'"),
    (lambda: kest.Body("mars", tables=DATA).seasons(["2026-02-30"]), "no such day"),
    (lambda: kest.Body("mars", tables=DATA).seasons(["9838.5"]), "bare number"),
    (lambda: kest.Body("mars", tables=DATA).events("2026-01-01", "2025-01-01"), "after"),
    (lambda: kest.Body("mars", tables=DATA, epoch=float("nan")), "epoch"),
    (lambda: kest.Body("mars", tables=DATA).state(0.25), "not centuries"),
    (lambda: kest.read_state(os.path.join(DATA, "planelem.tab")), "not a number"),
    (lambda: kest.read_state(os.path.join(DATA, "planelem.tab"), record=99), "record"),
])
def test_bad_input_is_value_error(call, error):
    with pytest.raises(ValueError, match=error):
        call()


def test_odd_dates_never_crash(tmp_path):
    body = kest.Body("mars", tables=DATA)
    s = body.seasons(np.array([np.nan, np.inf, 0.0]))
    assert np.isnan(s["ls_deg"][0]) and np.isnan(s["ls_deg"][1]) and not np.isnan(s["ls_deg"][2])
    assert body.seasons(np.array([], dtype=float))["ls_deg"].shape == (0,)
    assert body.seasons(np.array(["NaT"], dtype="datetime64[s]"))["ls_deg"][0] != body.seasons([0.0])["ls_deg"][0]
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


# ---- State files: the checks and protections of kest's state-file layer ----

MARS_SETUP = "p\n1\n1\n4\n0\n0\n/\n"


@pytest.fixture
def mars_files(workdir):
    """Mars saved by the dialogue to record 1 of KESTCM.DAT and to mars.mat."""
    run = dialogue(workdir, MARS_SETUP + "2\n2\n1\n1\n2\n2\n2\nmars.mat\n0\n")
    assert run.returncode == 0, run.stdout
    return workdir


def test_a_state_copied_through_a_dict_is_the_same_record(mars_files):
    text = kest.read_state(str(mars_files / "mars.mat"))
    kest.write_state(str(mars_files / "copy.mat"), text)  # title and runtime from the dict
    assert (mars_files / "copy.mat").read_bytes() == (mars_files / "mars.mat").read_bytes()
    binary = kest.read_state(str(mars_files / "KESTCM.DAT"), record=1)
    only_matrix = {k: v for k, v in binary.items() if not k.startswith("BFRM:")}
    only_fields = {k: v for k, v in binary.items() if k != "BFRM"}
    for n, state in ((2, only_matrix), (3, only_fields)):
        kest.write_state(str(mars_files / "KESTCM.DAT"), state, record=n)
    raw = (mars_files / "KESTCM.DAT").read_bytes()
    assert raw[240:480] == raw[:240] and raw[480:] == raw[:240]


@pytest.mark.parametrize("record", [None, 1])
@pytest.mark.parametrize("dangling", [False, True])
def test_names_that_are_links_are_refused(mars_files, tmp_path_factory, record, dangling):
    target = tmp_path_factory.mktemp("outside") / "target"
    if not dangling:
        target.write_bytes(b"T" * 480)
    link = mars_files / "link"
    link.symlink_to(target)
    state = kest.read_state(str(mars_files / "KESTCM.DAT"), record=1)
    for call in (lambda: kest.write_state(str(link), state, record=record),
                 lambda: kest.read_state(str(link), record=record)):
        with pytest.raises(OSError, match="symbolic link") as e:
            call()
        assert e.value.filename == str(link)
    assert target.exists() != dangling
    if not dangling:
        assert target.read_bytes() == b"T" * 480


def test_text_and_binary_records_are_not_mixed(mars_files):
    binary = mars_files / "KESTCM.DAT"
    state = kest.read_state(str(binary), record=1)
    with pytest.raises(ValueError, match="named like the binary state file"):
        kest.write_state(str(binary), state)
    copy = mars_files / "records.bin"
    shutil.copy(binary, copy)
    with pytest.raises(ValueError, match="holds binary state records"):
        kest.write_state(str(copy), state)
    assert binary.stat().st_size == copy.stat().st_size == 240
    text = mars_files / "mars.mat"
    before = text.read_bytes()
    with pytest.raises(ValueError, match="holds text"):
        kest.write_state(str(text), state, record=1)
    assert text.read_bytes() == before
    notes = mars_files / "notes.mat"
    notes.write_text("notes without a line end")
    kest.write_state(str(notes), state, title="Mars")
    lines = notes.read_text().splitlines()
    assert len(lines) == 8 and lines[0] == "notes without a line end" and lines[1].startswith("KEST:2014jun10")


@pytest.mark.parametrize("kwargs,field", [
    ({"title": "two\nlines"}, "title"), ({"title": "cr\rhere"}, "title"), ({"runtime": "2024\n"}, "runtime"),
    ({"title": "zero\x00byte"}, "title"), ({"title": "Phobos:Déimos"}, "title"), ({"runtime": "x" * 21}, "runtime"),
    ({"title": "x" * 26}, "title"), ({"title": 5}, "title"),
])
def test_texts_that_would_damage_a_record_are_refused(mars_files, kwargs, field):
    state = kest.read_state(str(mars_files / "KESTCM.DAT"), record=1)
    with pytest.raises(ValueError, match=field):
        kest.write_state(str(mars_files / "new.mat"), state, **kwargs)
    assert not (mars_files / "new.mat").exists()


def test_zero_bytes_in_paths_are_refused(mars_files):
    state = kest.read_state(str(mars_files / "KESTCM.DAT"), record=1)
    for record in (None, 1):
        with pytest.raises(ValueError, match="zero byte"):
            kest.write_state(str(mars_files / "a\x00b"), state, record=record)
    assert not (mars_files / "a").exists()


@pytest.mark.parametrize("raw,title", [(" Phobos:D\xc3\xa9imos".encode("latin-1"), "Phobos:D"),
                                       (" Mars:Mars".encode(), "Mars:Mars"), (b" caf\xe9 ok", "caf\ufffd ok  ")])
def test_titles_written_elsewhere_read_as_text(mars_files, raw, title):
    lines = (mars_files / "mars.mat").read_bytes().split(b"\n")
    lines[0] = lines[0][:59] + raw
    (mars_files / "odd.mat").write_bytes(b"\n".join(lines))
    assert kest.read_state(str(mars_files / "odd.mat"))["title"] == title


def test_a_full_disk_leaves_the_file_as_it_was(mars_files):
    # A child with a file size limit a little above the text file's size.
    script = """if True:
        import os, resource, signal, sys, kest
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        path, size = sys.argv[1], os.path.getsize(sys.argv[1])
        state = kest.read_state(path)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size + 100, resource.RLIM_INFINITY))
        for target in (path, path + ".new"):
            try:
                kest.write_state(target, state)
                print("written")
            except OSError as e:
                print(e.errno)
    """
    text = mars_files / "mars.mat"
    before = text.read_bytes()
    run = subprocess.run([sys.executable, "-c", script, str(text)], capture_output=True, text=True, timeout=60)
    assert run.stdout.split() == [str(errno.EFBIG), "written"], run.stderr
    assert text.read_bytes() == before


def test_a_read_waits_for_a_writer_holding_the_lock(mars_files):
    # The writer holds the lock with three lines of a record written; a read
    # started meanwhile waits for it (other threads go on) and gets the whole
    # record.
    script = """if True:
        import fcntl, os, sys, threading, time, kest
        path, record = sys.argv[1], open(sys.argv[2]).read()
        with open(path, "w") as f:
            fcntl.flock(f, fcntl.LOCK_EX)
            lines = record.splitlines(keepends=True)
            f.write("".join(lines[:3])); f.flush()
            got = []
            reader = threading.Thread(target=lambda: got.append(kest.read_state(path)))
            reader.start()
            time.sleep(0.3)
            f.write("".join(lines[3:])); f.flush()
        reader.join()
        print(got[0]["PLANUM"], got[0]["title"])
    """
    run = subprocess.run([sys.executable, "-c", script, str(mars_files / "locked.mat"), str(mars_files / "mars.mat")],
                         capture_output=True, text=True, timeout=30)
    assert run.stdout.split() == ["104.0", "Mars:Mars"], run.stderr


GOOD = {"PLANUM": 104.0, "TC": 0.0, "ODE": 0.86, "CLIN": 0.03, "ARGP": 5.0, "ECC": 0.0934, "SJA": 1.52, "OBL": 0.41,
        "SFLAG": 0.0, "ZBAA": 0.92, "ZBAB": 5.54, "WDOT": 0.0, "W0": 0.0, "OPERIOD": 686.98, "TJP": -100.0,
        "SIDAY": 24.6, "spar17": 0.0, "TAV": -1.2, "BLIP": 0.44, "KDEBUG": 0.0, "PBUG": 0.0, "BFRM": np.eye(3)}


@pytest.mark.parametrize("change,error", [
    ({"ecc": 0.5}, "unknown key 'ecc'"), ({"SJA": None}, "SJA is not a number"), ({"ECC": "0.1"}, "ECC is not a number"),
    ({"TJP": float("nan")}, "TJP is not a finite"), ({"TC": 10 ** 400}, "TC is not a finite"),
    ({"ECC": 1.0}, r"ECC = 1 is not in \[0, 1\)"), ({"ODE": 49.6}, "ODE = 49.6"),
    ({"BFRM": np.diag([1.0, 1.0, -1.0])}, "BFRM is not a rotation"),
    ({"BFRM": np.eye(2)}, "3 x 3"), ({"BFRM": [["a"] * 3] * 3}, "3 x 3"), ({"BFRM:5": 0.5}, "BFRM and BFRM:5 disagree"),
])
def test_a_state_is_checked_before_anything_is_written(tmp_path, change, error):
    state = dict(GOOD, **change)
    for record in (None, 1):
        with pytest.raises(ValueError, match=error):
            kest.write_state(str(tmp_path / "s.out"), state, record=record)
    missing = dict(GOOD)
    del missing["ARGP"]
    with pytest.raises(ValueError, match="missing key 'ARGP'"):
        kest.write_state(str(tmp_path / "s.out"), missing)
    assert not (tmp_path / "s.out").exists()


def test_every_state_the_dialogue_saves_for_a_shipped_body_is_accepted(workdir):
    bodies = [(1, i) for i in range(1, 10)] + [(3, i) for i in range(1, 9)] + [(4, i) for i in range(1, 10)] + \
             [(5, i) for i in range(1, 7)] + [(6, i) for i in range(1, 7)]
    # Planets also at the ends of their table's years, 1800 and 2050.
    for source, item, epoch in [(s, i, e) for s, i in bodies for e in (["0", "-2", "0.5"] if s == 1 else [None])]:
        for name in ("KESTCM.DAT", "s.mat"):
            (workdir / name).unlink(missing_ok=True)
        answers = f"p\n1\n{source}\n{item}\n" + (f"{epoch}\n0\n/\n" if epoch else "0\n") + "2\n2\n1\n1\n2\n2\n2\ns.mat\n0\n"
        assert dialogue(workdir, answers).returncode == 0, (source, item, epoch)
        for path, record in (("KESTCM.DAT", 1), ("s.mat", None)):
            state = kest.read_state(str(workdir / path), record=record)
            kest.write_state(str(workdir / "copy.DAT"), state, record=1)
            kest.write_state(str(workdir / "copy.mat"), state)


# ---- Body.state: the record of the dialogue's option 1 --------------------

# One body of each kind: the name for kest.Body, the answers to option 1
# after its source code (item, epoch {tc} for a planet, debug flags, the
# satellite name) and the year given to Body.state, which the kinds without
# an epoch prompt do not use. Items past the first, and a satellite whose
# planet's item is not its line, so that the body code is checked too.
STATE_BODIES = [
    ("Mars", "1\n4\n0\n0\n/\n", None),
    ("Mars", "1\n4\n{tc}\n0\n/\n", 2024.5),
    ("Titan", "1\n6\n{tc}\n0\nTitan\n", 1931.25),
    ("minor:4 Vesta", "3\n3\n0\n", None),
    ("small:67P", "4\n9\n0\n", 2024.5),
    ("comet:19P", "5\n4\n0\n", None),
    ("HD 80606", "6\n3\n0\n", 2101.0),
]


@pytest.mark.parametrize("name,setup,year", STATE_BODIES)
def test_state_is_the_record_the_dialogue_saves(workdir, name, setup, year):
    # The dialogue reads the epoch as the shortest text of the centuries Body.state takes.
    tc = repr((year - 2000) / 100) if year is not None else "0"
    run = dialogue(workdir, "p\n1\n" + setup.format(tc=tc) + "2\n2\n1\n1\n2\n2\n2\ns.mat\n0\n")
    assert run.returncode == 0, run.stdout
    state = kest.Body(name, tables=DATA).state(year)
    saved = kest.read_state(str(workdir / "KESTCM.DAT"), record=1)
    assert state.keys() == saved.keys()
    assert {k: state[k] for k in state if k != "BFRM"} == {k: saved[k] for k in saved if k != "BFRM"}
    assert np.array_equal(state["BFRM"], saved["BFRM"])
    if year is not None:
        # A Body frozen at the year gives the same record by default.
        frozen = kest.Body(name, tables=DATA, epoch=year).state()
        assert {k: frozen[k] for k in frozen if k != "BFRM"} == {k: state[k] for k in state if k != "BFRM"}
    # Written by write_state, both records are the dialogue's to the byte (signs
    # of zero included), and read back they are the state.
    kest.write_state(str(workdir / "py.DAT"), state, record=1)
    assert (workdir / "py.DAT").read_bytes() == (workdir / "KESTCM.DAT").read_bytes()[:240]
    again = kest.read_state(str(workdir / "py.DAT"), record=1)
    assert {k: again[k] for k in again if k != "BFRM"} == {k: state[k] for k in state if k != "BFRM"}
    header = (workdir / "s.mat").read_text().splitlines()[0]
    text = kest.read_state(str(workdir / "s.mat"))
    kest.write_state(str(workdir / "py.mat"), state, title=header[60:], runtime=text["runtime"])
    assert (workdir / "py.mat").read_bytes() == (workdir / "s.mat").read_bytes()


VESTA = dict(a=2.361365965127599, e=0.09020374382834395, i=7.143925545058711, node=103.701293265032,
             peri=151.4686478221564, M=81.19015607686903, epoch="JD2461200.5")


def test_a_body_from_its_elements_is_the_table_item_of_the_same_numbers():
    dates = np.array([-3000.0, 0.0, 9839.5, 12000.25])
    table = kest.Body("minor:4 Vesta", tables=DATA)
    given = kest.Body.from_elements("4 Vesta", **VESTA, pole=(309.031, 42.235), rotation_period="0.22258868d")
    with pytest.warns(kest.ModelWarning):
        a, b = table.seasons(dates), given.seasons(dates)
    for key in a:
        assert np.array_equal(a[key], b[key]), key
    assert given.kind == "given body" and given.obliquity == pytest.approx(table.obliquity, abs=1e-12)
    # The same pole from the ecliptic, and no pole at all.
    ecliptic = kest.Body.from_elements("v", **VESTA, pole={"lon": 330.826, "lat": 57.724})
    with pytest.warns(kest.ModelWarning):
        assert np.allclose(ecliptic.seasons(dates)["ls_deg"], a["ls_deg"], atol=2e-3)
        bare = kest.Body.from_elements("v", **VESTA).seasons(dates)
    assert np.isnan(bare["ls_deg"]).all() and np.allclose(bare["distance_au"], a["distance_au"], rtol=1e-14, atol=0)


def test_seasons_of_several_bodies_are_rows_of_each():
    dates = np.linspace(9000.0, 9500.0, 7)
    vesta = kest.Body.from_elements("4 Vesta", **VESTA, pole=(309.031, 42.235))
    with pytest.warns(UserWarning):
        many = kest.seasons(["Mars", "Titan", vesta, "Ceres"], dates, tables=DATA)
    assert many["body"] == ["Mars", "Titan", "4 Vesta", "1 Ceres"]
    assert many["ls_deg"].shape == (4, 7) and np.array_equal(many["days_j2000"], dates)
    for k, name in enumerate(["Mars", "Titan"]):
        one = kest.Body(name, tables=DATA).seasons(dates)
        assert np.array_equal(many["ls_deg"][k], one["ls_deg"]) and np.array_equal(many["flux_w_m2"][k], one["flux_w_m2"])
    assert (many["mars_year"][0] > 0).all() and (many["mars_year"][1:] == 0).all()


@pytest.mark.parametrize("kwargs,error,says", [
    (dict(a=2.9, e=1.0, i=3, node=1, peri=2, tp=0.0), ValueError, "no elliptic orbit"),
    (dict(a=2.9, q=2.0, e=0.1, i=3, node=1, peri=2, tp=0.0), ValueError, "one of them"),
    (dict(a=2.9, e=0.1, i=3, node=1, peri=2), ValueError, "give tp, or M and epoch"),
    (dict(a=2.9, e=0.1, i=200, node=1, peri=2, tp=0.0), ValueError, "outside 0 to 180"),
    (dict(a=float("inf"), e=0.1, i=3, node=1, peri=2, tp=0.0), ValueError, "a is not a finite number"),
    (dict(a="far", e=0.1, i=3, node=1, peri=2, tp=0.0), TypeError, "a must be a number"),
    (dict(a=2.9, e=0.1, i=3, node=1, peri=2, tp=0.0, pole={"ra": 1, "b": 2}), ValueError, "unknown key 'b'"),
    (dict(a=2.9, e=0.1, i=3, node=1, peri=2, tp=0.0, pole=(1, 2, 3)), ValueError, "give \\(ra, dec\\)"),
    (dict(a=2.9, e=0.1, i=3, node=1, peri=2, tp=0.0, rotation_period="soon"), ValueError, "rotation 'soon'"),
])
def test_elements_that_give_no_body_are_refused(kwargs, error, says):
    with pytest.raises(error, match=says):
        kest.Body.from_elements("x", **kwargs)


@pytest.mark.parametrize("name,options,kwargs", [
    ("Saturn", ["--ephemeris", "mean"], {"ephemeris": "mean"}),
    ("Titan", [], {"ephemeris": "accurate"}),
    ("Earth", ["--apparent"], {"apparent": True}),
])
def test_ephemeris_and_apparent_as_the_command_takes_them(name, options, kwargs):
    rows = command_rows(*options, "events", name, "--from", "2009-01-01", "--to", "2011-01-01")
    events = kest.Body(name, tables=DATA, **kwargs).events("2009-01-01", "2011-01-01")
    assert [e["event"] for e in events] == [r["event"] for r in rows]
    assert [e["days_j2000"] for e in events] == [float(r["days_j2000"]) for r in rows]
    many = kest.seasons([name], [3650.0, 3700.5], tables=DATA, **kwargs)
    assert np.array_equal(many["ls_deg"][0], kest.Body(name, tables=DATA, **kwargs).seasons([3650.0, 3700.5])["ls_deg"])


@pytest.mark.parametrize("kwargs,error,says", [
    ({"ephemeris": "vsop"}, ValueError, "no ephemeris is named 'vsop'; the names are accurate, mean"),
    ({"ephemeris": 2}, TypeError, "not int"),
    ({"ephemeris": "accurate", "epoch": 2000.0}, ValueError, "epoch freezes the mean elements"),
    ({"apparent": True, "ephemeris": "mean"}, ValueError, "apparent needs the Earth's accurate positions"),
])
def test_ephemeris_refusals(kwargs, error, says):
    with pytest.raises(error, match=says):
        kest.Body("Earth", tables=DATA, **kwargs)
    with pytest.raises(ValueError, match="'Mars' has no apparent Ls"):
        kest.Body("Mars", tables=DATA, apparent=True)
