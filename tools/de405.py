#!/usr/bin/python3
"""JPL's planetary ephemeris DE405, read from the casacore table of Debian's
casacore-data-jpl-de405 (/usr/share/casacore/data/ephemerides/DE405), with
numpy alone.

Usage: tools/de405.py [--dir DIR]                 the span and the constants
       tools/de405.py [--dir DIR] BODY JD...      heliocentric states (AU, AU/day)

From Python: ``eph = DE405(); r, v = eph.state("Mars", jd)``.

The table's files, as their bytes show them:

- table.dat, big-endian (casacore's canonical AipsIO): the table's row count,
  its keywords (a record of strings and doubles: DENUM, AU, EMRAT, CLIGHT,
  MJD0, dMJD, the GMs ...), and its two columns, MJD (a double a row) and x
  (an array of doubles a row). The keywords of x hold the coefficient
  pointer table as an Array<Int> of 3 rows (first word, coefficients per
  component, sub-intervals) and 13 columns (Mercury, Venus, EM-barycentre,
  Mars .. Pluto, Moon, Sun, nutations, librations).
- table.f0, little-endian: the incremental storage manager of the two
  columns. A header (bucket size, bucket count), buckets from byte 512, and
  after them its index (the first row of each bucket and the bucket that
  holds it). A bucket opens with the offset of its own index; there, per
  column, the number of values, the row of each (from the bucket's first
  row) and its offset from byte 4 of the bucket. A value holds for its row
  and the rows after it up to the next one. MJD values are doubles, the
  record's start (TDB); x values are 8-byte offsets into table.f0i.
- table.f0i, little-endian: the arrays. At each offset a reference count, the
  number of dimensions (1), the length (1018), then the doubles: words 3 to
  1018 of the record of JPL's own files (the coefficients; the pointer table
  counts from word 1, the record's start date) and two zeros.

A record spans 32 days. A body's coefficients from word p (ncoef a
component, nsub sub-intervals of 32 / nsub days): sub-interval j, component c
(x, y, z) has the Chebyshev coefficients of words p + (3 j + c) ncoef to
p + (3 j + c + 1) ncoef - 1, in km of the sub-interval's normalised time
tau = -1 .. 1. Mercury to Pluto, the EM-barycentre and the Sun are
barycentric, the Moon geocentric; the axes are the ICRF's. The Earth is the
EM-barycentre less the Moon / (1 + EMRAT).
"""

import argparse
import os
import struct
import sys

import numpy as np

DEFAULT_DIR = "/usr/share/casacore/data/ephemerides/DE405"
RECORD_DAYS = 32.0
MJD_ZERO = 2400000.5  # Julian date of MJD 0
J2000 = 2451545.0

# The coefficient pointer table of DE405 (first word, coefficients per
# component, sub-intervals), which the file's own must repeat.
POINTERS = {
    "Mercury": (3, 14, 4), "Venus": (171, 10, 2), "EM-Bary": (231, 13, 2), "Mars": (309, 11, 1),
    "Jupiter": (342, 8, 1), "Saturn": (366, 7, 1), "Uranus": (387, 6, 1), "Neptune": (405, 6, 1),
    "Pluto": (423, 6, 1), "Moon": (441, 13, 8), "Sun": (753, 11, 2),
}
# The order of the file's pointer table (its last two: nutations, librations).
POINTER_ORDER = ("Mercury", "Venus", "EM-Bary", "Mars", "Jupiter", "Saturn", "Uranus", "Neptune", "Pluto",
                 "Moon", "Sun")
BODIES = ("Mercury", "Venus", "Earth", "EM-Bary", "Mars", "Jupiter", "Saturn", "Uranus", "Neptune", "Pluto")
RECORD_WORDS = 1018
FIRST_WORD = 3  # the word of the standard record that is the array's first

# casacore's type codes of the keyword record.
TP_INT, TP_DOUBLE, TP_STRING, TP_ARRAY_INT = 5, 8, 11, 18


class DE405Error(Exception):
    pass


class _Reader:
    """A cursor over bytes of one byte order."""

    def __init__(self, data, order, pos=0, what="file"):
        self.data, self.order, self.pos, self.what = data, order, pos, what

    def take(self, fmt):
        size = struct.calcsize(self.order + fmt)
        if self.pos + size > len(self.data):
            raise DE405Error(f"{self.what}: ends at byte {len(self.data)}, inside a field at {self.pos}")
        v = struct.unpack_from(self.order + fmt, self.data, self.pos)
        self.pos += size
        return v if len(v) > 1 else v[0]

    def text(self):
        n = self.take("I")
        if self.pos + n > len(self.data):
            raise DE405Error(f"{self.what}: a text of {n} bytes at {self.pos} runs past the end")
        v = self.data[self.pos:self.pos + n].decode("latin-1")
        self.pos += n
        return v

    def header(self, name):
        """An AipsIO object header: length, type name, version; returns the version."""
        self.take("I")
        got = self.text()
        if got != name:
            raise DE405Error(f"{self.what}: {name} expected at byte {self.pos}, found {got!r}")
        return self.take("I")

    def find(self, token, start=None):
        k = self.data.find(token, self.pos if start is None else start)
        if k < 4:
            raise DE405Error(f"{self.what}: no {token.decode()}")
        self.pos = k - 8  # before the object's length and the text's length
        return self


def _read_record(rd):
    """A TableRecord of scalars and integer arrays, as a dict."""
    rd.header("TableRecord")
    rd.header("RecordDesc")
    fields = []
    for _ in range(rd.take("I")):
        name, kind = rd.text(), rd.take("i")
        if kind == TP_ARRAY_INT:
            rd.header("IPosition")
            rd.take(f"{rd.take('I')}i")
        elif kind not in (TP_INT, TP_DOUBLE, TP_STRING):
            raise DE405Error(f"table.dat: keyword {name} of type {kind}, which this reader does not take")
        rd.text()  # comment
        fields.append((name, kind))
    rd.take("i")  # the record's kind
    out = {}
    for name, kind in fields:
        if kind == TP_STRING:
            out[name] = rd.text()
        elif kind == TP_DOUBLE:
            out[name] = rd.take("d")
        elif kind == TP_INT:
            out[name] = rd.take("i")
        else:
            rd.header("Array<Int>")
            shape = rd.take(f"{rd.take('I')}I")
            n = rd.take("I")
            if n != int(np.prod(shape)):
                raise DE405Error(f"table.dat: array {name} of shape {shape} holds {n} values")
            out[name] = list(rd.take(f"{n}i")) if n > 1 else [rd.take("i")]
    return out


def _read_description(path):
    """(row count, keywords, pointer table {body: (word, ncoef, nsub)}) of table.dat."""
    data = _read_file(path, "table.dat")
    rd = _Reader(data, ">", what="table.dat")
    if rd.take("I") != 0xBEBEBEBE:
        raise DE405Error("table.dat: not a casacore table (no AipsIO magic)")
    rd.header("Table")
    rows = rd.take("I")
    keywords = _read_record(rd.find(b"TableRecord"))
    for column in (b"MJD", b"x"):
        if data.find(b"\x00" + bytes([len(column)]) + column) < 0:
            raise DE405Error(f"table.dat: no column {column.decode()}")
    desc = _read_record(rd.find(b"TableRecord", data.find(b"ArrayColumnDesc<double")))
    table = desc.get("Description")
    if table is None or desc.get("Rows") != 3 or len(table) != 3 * desc.get("Columns", 0):
        raise DE405Error("table.dat: the column x has no pointer table of 3 rows")
    n = desc["Columns"]
    pointers = {body: (table[k], table[n + k], table[2 * n + k]) for k, body in enumerate(POINTER_ORDER)}
    return rows, keywords, pointers


def _read_file(path, name):
    """The bytes of the table's file name."""
    name = os.path.join(path, name)
    try:
        with open(name, "rb") as f:
            return f.read()
    except OSError as e:
        raise DE405Error(f"cannot read {name}: {e.strerror}")


def _read_columns(path, rows):
    """(start MJD, offset into table.f0i) of every row, from the storage manager's buckets."""
    data = _read_file(path, "table.f0")
    rd = _Reader(data, "<", what="table.f0")
    if rd.take("I") != 0xBEBEBEBE:
        raise DE405Error("table.f0: no AipsIO magic")
    rd.header("IncrementalStMan")
    if rd.take("?"):
        raise DE405Error("table.f0: big-endian storage, which this reader does not take")
    size, nbuckets = rd.take("II")
    base = 512
    rd.pos = base + nbuckets * size
    if rd.take("I") != 0xBEBEBEBE:
        raise DE405Error("table.f0: no index after the buckets")
    rd.header("ISMIndex")
    nused = rd.take("I")
    rd.header("Block")
    starts = rd.take(f"{rd.take('I')}I")
    rd.header("Block")
    which = rd.take(f"{rd.take('I')}I")
    if len(starts) < nused + 1 or len(which) < nused or starts[nused] != rows:
        raise DE405Error("table.f0: its index does not cover the table's rows")
    mjd, offset = np.empty(rows), np.empty(rows, dtype=np.int64)
    for k in range(nused):
        first, last = starts[k], starts[k + 1]
        bucket = base + which[k] * size
        b = _Reader(data, "<", bucket, "table.f0")
        b.pos = bucket + b.take("I")
        for col, fmt, out in ((0, "d", mjd), (1, "q", offset)):
            n = b.take("I")
            at_row, at = b.take(f"{n}I"), b.take(f"{n}I")
            if n == 1:
                at_row, at = (at_row,), (at,)
            if at_row[0] != 0:
                raise DE405Error(f"table.f0: bucket {which[k]} has no value for its first row")
            for j in range(n):
                end = at_row[j + 1] if j + 1 < n else last - first
                out[first + at_row[j]:first + end] = struct.unpack_from("<" + fmt, data, bucket + 4 + at[j])[0]
    return mjd, offset


def _read_arrays(path, offsets):
    data = _read_file(path, "table.f0i")
    out = np.empty((len(offsets), RECORD_WORDS - FIRST_WORD + 1))
    for k, at in enumerate(offsets):
        if at + 12 + 8 * RECORD_WORDS > len(data):
            raise DE405Error(f"table.f0i: array {k} at byte {at} runs past the end")
        _, ndim, n = struct.unpack_from("<III", data, at)
        if ndim != 1 or n != RECORD_WORDS:
            raise DE405Error(f"table.f0i: array {k} has shape {ndim} x {n}, not 1 x {RECORD_WORDS}")
        words = np.frombuffer(data, "<f8", RECORD_WORDS, at + 12)
        if words[-2] != 0.0 or words[-1] != 0.0:
            raise DE405Error(f"table.f0i: array {k} does not end in two zeros")
        out[k] = words[:RECORD_WORDS - FIRST_WORD + 1]
    return out


def _chebyshev(tau, n):
    """T_0..T_{n-1}(tau) and their derivatives, arrays of shape (len(tau), n)."""
    t = np.empty((len(tau), n))
    d = np.empty((len(tau), n))
    t[:, 0], d[:, 0] = 1.0, 0.0
    if n > 1:
        t[:, 1], d[:, 1] = tau, 1.0
    for k in range(2, n):
        t[:, k] = 2.0 * tau * t[:, k - 1] - t[:, k - 2]
        d[:, k] = 2.0 * t[:, k - 1] + 2.0 * tau * d[:, k - 1] - d[:, k - 2]
    return t, d


class DE405:
    """The ephemeris of a casacore DE405 table directory.

    Attributes: keywords (the table's constants, e.g. AU in km and EMRAT),
    au (km), emrat, pointers ({body: (word, ncoef, nsub)}), first_jd and
    last_jd (the span, TDB Julian dates), rows (the records)."""

    def __init__(self, path=DEFAULT_DIR):
        self.path = path
        nrows, self.keywords, self.pointers = _read_description(path)
        if self.keywords.get("DENUM") != 405.0:
            raise DE405Error(f"{path}: DENUM is {self.keywords.get('DENUM')}, not 405")
        for body, p in POINTERS.items():
            if self.pointers[body] != p:
                raise DE405Error(f"{path}: pointers of {body} {self.pointers[body]}, not DE405's {p}")
        self.au, self.emrat = self.keywords["AU"], self.keywords["EMRAT"]
        mjd, offsets = _read_columns(path, nrows)
        steps = np.diff(mjd)
        if nrows < 1 or np.any(steps != RECORD_DAYS):
            raise DE405Error(f"{path}: records not {RECORD_DAYS:g} days apart")
        self.rows = _read_arrays(path, offsets)
        self.first_jd = mjd[0] + MJD_ZERO
        self.last_jd = mjd[-1] + RECORD_DAYS + MJD_ZERO

    def _barycentric(self, body, jd, jd2):
        """Position (km) and velocity (km/day) of a body of the pointer table, shape (n, 3)."""
        word, n, nsub = self.pointers[body]
        days = (jd - self.first_jd) + jd2
        rec = np.minimum(np.floor(days / RECORD_DAYS).astype(np.int64), len(self.rows) - 1)
        t = days / RECORD_DAYS - rec  # 0 .. 1 in the record
        sub = np.minimum(np.floor(t * nsub).astype(np.int64), nsub - 1)
        tau = 2.0 * (t * nsub - sub) - 1.0
        idx = (word - FIRST_WORD + 3 * n * sub[:, None, None] + n * np.arange(3)[None, :, None]
               + np.arange(n)[None, None, :])
        coef = self.rows[rec[:, None, None], idx]
        tt, dt = _chebyshev(tau, n)
        pos = np.einsum("mcn,mn->mc", coef, tt)
        vel = np.einsum("mcn,mn->mc", coef, dt) * (2.0 * nsub / RECORD_DAYS)
        return pos, vel

    def state(self, body, jd, jd2=0.0):
        """Heliocentric position (AU) and velocity (AU/day) of a body, ICRF axes.

        body  Mercury .. Pluto, Earth or EM-Bary (the Earth-Moon barycentre)
        jd    TDB Julian date(s) (TT will do: they differ by less than 2 ms),
              a number or an array; jd2 a second part added to it
        Returns (r, v), each of shape (3,) for a number, (n, 3) for an array.
        Raises DE405Error for a date outside the span, KeyError for another body."""
        one = np.ndim(jd) == 0 and np.ndim(jd2) == 0
        jd, jd2 = np.broadcast_arrays(np.atleast_1d(np.asarray(jd, float)), np.atleast_1d(np.asarray(jd2, float)))
        whole = jd + jd2
        if np.any(~(whole >= self.first_jd)) or np.any(~(whole <= self.last_jd)):
            raise DE405Error(f"JD outside the span of the ephemeris, {self.first_jd} to {self.last_jd}")
        if body == "Earth":
            pos, vel = self._barycentric("EM-Bary", jd, jd2)
            mp, mv = self._barycentric("Moon", jd, jd2)
            pos, vel = pos - mp / (1.0 + self.emrat), vel - mv / (1.0 + self.emrat)
        elif body in BODIES:
            pos, vel = self._barycentric(body, jd, jd2)
        else:
            raise KeyError(f"no body {body!r} in DE405 (bodies: {', '.join(BODIES)})")
        sp, sv = self._barycentric("Sun", jd, jd2)
        r, v = (pos - sp) / self.au, (vel - sv) / self.au
        return (r[0], v[0]) if one else (r, v)


def calendar(jd):
    """A Julian date as a proleptic Gregorian date text (YYYY-MM-DD hh:mm)."""
    z = int(np.floor(jd + 0.5))
    f = jd + 0.5 - z
    a = z + 1 + (z - 1867216.25) // 36524.25 - ((z - 1867216.25) // 36524.25) // 4
    b = a + 1524
    c = int((b - 122.1) // 365.25)
    d = int(365.25 * c)
    e = int((b - d) // 30.6001)
    day = int(b - d - int(30.6001 * e))
    month = e - 1 if e < 14 else e - 13
    year = c - 4716 if month > 2 else c - 4715
    minutes = int(round(f * 1440.0))
    return f"{year:04d}-{month:02d}-{day:02d} {minutes // 60:02d}:{minutes % 60:02d}"


def main():
    ap = argparse.ArgumentParser(description="JPL DE405 from its casacore table: span, constants, states.")
    ap.add_argument("--dir", default=DEFAULT_DIR, help=f"the table's directory ({DEFAULT_DIR})")
    ap.add_argument("body", nargs="?", help="Mercury .. Pluto, Earth or EM-Bary")
    ap.add_argument("jd", nargs="*", type=float, help="TDB Julian dates")
    args = ap.parse_args()
    try:
        eph = DE405(args.dir)
        if args.body is None:
            print(f"DE{eph.keywords['DENUM']:.0f}, {len(eph.rows)} records of {RECORD_DAYS:g} days: "
                  f"JD {eph.first_jd} ({calendar(eph.first_jd)}) to JD {eph.last_jd} ({calendar(eph.last_jd)}) TDB")
            print(f"AU = {eph.au!r} km, EMRAT = {eph.emrat!r}, c = {eph.keywords['CLIGHT']!r} km/s")
            return 0
        for jd in args.jd:
            r, v = eph.state(args.body, jd)
            print(f"{jd!r} " + " ".join(repr(float(x)) for x in r) + " " + " ".join(repr(float(x)) for x in v))
        return 0
    except (DE405Error, KeyError) as e:
        print(f"de405: {e}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
