"""kest: the orbital and seasonal geometry of planets, satellites, asteroids,
small bodies, comets and exoplanets, from kest's element tables.

The bodies of the tables (``Body``, ``bodies``), their seasons at arrays of
dates (``Body.seasons``, ``seasons``), their events (``Body.events``,
``Body.date_of_ls``), the Sun at a place of them (``Body.sun``,
``Body.insolation``, ``Body.mars_time``), and kest's state files, the
orbital input of the surface thermal model (``Body.state``, ``read_state``,
``write_state``).

Dates
-----
Every date argument takes any of these, alone or as a sequence or array:

- a number: days from J2000.0 (2000-01-01T12:00), TT;
- numpy ``datetime64`` of any unit;
- Python ``datetime`` and ``date``, pandas ``Timestamp``, ``DatetimeIndex``
  and ``Series``;
- astropy ``Time``, in its own scale (utc, tt, tdb, ...);
- an astropy ``Quantity`` of time, as days from J2000.0 (any other unit is
  refused with ``ValueError``);
- ISO 8601 texts, "2026-12-09", "2026-12-09T06:30", "2026-12-09 06:30:00",
  "2021-02-18T20:55Z", "2021-02-18T21:55+01:00", and "JD2461383.5",
  "J2000+9838.5", "now".

A value that knows its time zone is UTC, turned into TT with ERFA's leap
seconds; a naive one is TT, or UTC with ``utc=True``. Calendar dates, texts
among them, count the proleptic Gregorian calendar, as numpy, pandas,
datetime and astropy do: the text "1500-01-01" and
``numpy.datetime64("1500-01-01")`` are the same instant. (The command
``kest-season`` and the dialogue read their texts in kest's own calendar,
Julian before 1582 October 15; the two agree from that day on.) Anything
else raises ``TypeError`` naming its type.

Results
-------
Array results are dicts of numpy arrays under the column names of
``kest-season --csv`` (``ls_deg``, ``distance_au``, ...), with a
``date_tt`` (or, with ``utc=True``, ``date_utc``) column of
``datetime64[us]``. Each has ``to_frame()``, and each call takes
``as_frame=True``, for a pandas DataFrame of the CSV's columns.

Example
-------
>>> import kest
>>> mars = kest.Body("Mars")
>>> s = mars.seasons(["2026-12-09", "2027-06-09"])
>>> s["ls_deg"].round(2)  # doctest: +SKIP
array([ 65.12, 158.49])
"""

from __future__ import annotations

import os as _os
import sys as _sys
from typing import Any, Iterable, Optional, Sequence, Union

import numpy as _np

from . import _kest
from ._kest import ModelWarning
from ._paths import TABLES_FROM_PACKAGE as _TABLES_FROM_PACKAGE
from ._paths import VERSION as __version__

__all__ = [
    "Body",
    "ModelWarning",
    "Table",
    "Events",
    "bodies",
    "seasons",
    "read_state",
    "write_state",
    "__version__",
]

_HERE = _os.path.dirname(_os.path.abspath(__file__))


def _installed_tables() -> str:
    """The tables installed with the package: its own ``tables`` directory
    (a wheel's), else the share/kest directory of the prefix it was
    installed to."""
    own = _os.path.join(_HERE, "tables")
    if _os.path.isfile(_os.path.join(own, "planelem.tab")):
        return own
    return _os.path.normpath(_os.path.join(_HERE, _TABLES_FROM_PACKAGE))


_kest._set_installed_tables(_installed_tables())


# ---- Dates ---------------------------------------------------------------------

_JD_J2000 = 2451545.0


def _type_name(x: Any) -> str:
    t = type(x)
    return t.__name__ if t.__module__ == "builtins" else f"{t.__module__}.{t.__qualname__}"


def _is_quantity(x: Any) -> bool:
    return hasattr(x, "unit") and hasattr(x, "to_value") and type(x).__module__.startswith("astropy")


def _is_time(x: Any) -> bool:
    return type(x).__module__.startswith("astropy.time") and hasattr(x, "jd1") and hasattr(x, "tt")


def _quantity_days(q: Any, what: str) -> Any:
    """A Quantity of time as days, else ValueError."""
    import astropy.units as u

    if not q.unit.is_equivalent(u.day):
        raise ValueError(f"{what} is a Quantity of {q.unit}, not of time: give days, hours or another time unit")
    return q.to_value(u.day)


def _pandas_dates(x: Any) -> Optional[tuple]:
    """A pandas Timestamp index or series that knows its zone as naive UTC
    datetime64 values (and True), a naive one as its datetime64 values (and
    False); None for anything else."""
    pd = _sys.modules.get("pandas")
    if pd is None:
        return None
    if isinstance(x, pd.Series):
        if not pd.api.types.is_datetime64_any_dtype(x.dtype):
            return (x.to_numpy(), False)
        x = pd.DatetimeIndex(x)
    if isinstance(x, pd.DatetimeIndex):
        if x.tz is not None:
            return (x.tz_convert("UTC").tz_localize(None).to_numpy(), True)
        return (x.to_numpy(), False)
    return None


def _days(dates: Any, utc: bool = False) -> _np.ndarray:
    """Dates of any kind kest takes as days from J2000.0 (TT), a 1-D float64
    array, NaN where a date is missing (NaN, NaT)."""
    if _is_time(dates):
        tt = dates.tt
        return _np.atleast_1d((_np.asarray(tt.jd1, dtype=float) - _JD_J2000) + _np.asarray(tt.jd2, dtype=float)).ravel()
    if _is_quantity(dates):
        return _kest._days(_np.atleast_1d(_quantity_days(dates, "a date")).astype(float), utc)
    p = _pandas_dates(dates)
    if p is not None:
        values, aware = p
        return _kest._days(values, utc or aware)
    if isinstance(dates, (list, tuple)) and any(_is_time(d) or _is_quantity(d) for d in dates):
        return _np.array([_day(d, utc) for d in dates], dtype=float)
    return _kest._days(dates, utc)


def _day(date: Any, utc: bool = False) -> float:
    """One date as days from J2000.0 (TT)."""
    if _is_time(date) or _is_quantity(date):
        d = _days(date, utc)
        if d.size != 1:
            raise ValueError(f"one date is wanted here, not {d.size}")
        return _kest._day(float(d[0]), utc)
    return _kest._day(date, utc)


def _degrees(x: Any, what: str) -> Any:
    """An angle in degrees: a number, or a Quantity of angle converted."""
    if _is_quantity(x):
        import astropy.units as u

        if not x.unit.is_equivalent(u.deg):
            raise ValueError(f"{what} is a Quantity of {x.unit}, not an angle")
        return x.to_value(u.deg)
    return x


# ---- Results -------------------------------------------------------------------


def _date_column(days: _np.ndarray, utc: bool) -> _np.ndarray:
    """datetime64[us] of days from J2000.0 (TT), as TT or UTC instants."""
    return _kest._datetime64_us(_np.asarray(days, dtype=float), utc).view("datetime64[us]")


def _frame_dates(values: _np.ndarray, days: _np.ndarray) -> Any:
    """A DataFrame's date column of instants and their days from J2000.0:
    datetime64[ns] where pandas holds the dates (1677 to 2262), else the
    CSV's ISO texts to the millisecond, of the proleptic Gregorian calendar
    (None where a date is missing)."""
    lo, hi = _np.datetime64("1677-09-22", "us"), _np.datetime64("2262-04-11", "us")
    ok = ~_np.isnat(values)
    if _np.all((values[ok] >= lo) & (values[ok] <= hi)):
        return values.astype("datetime64[ns]")
    return _np.array([t if k else None for k, t in zip(ok, _kest._iso_dates(days))], dtype=object)


class Table(dict):
    """Columns of a result: numpy arrays under the CSV's column names.

    A dict, with ``to_frame()`` for a pandas DataFrame of the same columns
    in the CSV's order, one row per CSV row (2-D results in long form, as
    ``kest-season`` writes them).
    """

    def __init__(self, columns: dict, order: Sequence[str], rows: Optional[dict] = None, mars: Any = None) -> None:
        super().__init__(columns)
        # For several bodies: which are Mars, whose rows alone have Mars years.
        self._mars = mars
        self._order = [c for c in order if c in columns] + [c for c in columns if c not in order]
        # For 2-D results: the axis (0 or 1) each 1-D column runs along.
        self._rows = rows

    def to_frame(self) -> Any:
        """The columns as a pandas DataFrame, with a datetime64 date column.

        Returns
        -------
        pandas.DataFrame
            One row per date (per body and date, or per date and latitude,
            for 2-D results), the columns in the CSV's order.
        """
        import pandas as pd

        data = {}
        shape = None
        if self._rows is not None:
            shape = next(_np.shape(v) for v in self.values() if _np.ndim(v) == 2)
        for c in self._order:
            v = _np.asarray(self[c])
            if shape is None or v.ndim == 2:
                v = v.reshape(-1)
            elif self._rows.get(c, 0) == 0:
                v = _np.repeat(v, shape[1])
            else:
                v = _np.tile(v, shape[0])
            data[c] = v
        for c in ("date_tt", "date_utc"):
            if c in data:
                data[c] = _frame_dates(data[c], data["days_j2000"])
        if self._mars is not None and "mars_year" in data:
            # As the CSV leaves the Mars year of other bodies empty.
            years = pd.array(data["mars_year"], dtype="Int32")
            years[~_np.repeat(_np.asarray(self._mars, dtype=bool), shape[1])] = pd.NA
            data["mars_year"] = years
        return pd.DataFrame(data)


class Events(list):
    """Events as a list of dicts, each a row of ``kest-season events --csv``,
    with ``to_frame()`` for a DataFrame of them."""

    def __init__(self, rows: Iterable[dict], utc: bool) -> None:
        super().__init__(rows)
        self._utc = utc

    def to_frame(self) -> Any:
        """The events as a pandas DataFrame, with a datetime64 date column.

        Returns
        -------
        pandas.DataFrame
            One row per event, the columns of the CSV.
        """
        import pandas as pd

        key = "date_utc" if self._utc else "date_tt"
        frame = pd.DataFrame(list(self))
        if len(self):
            days = frame["days_j2000"].to_numpy()
            frame[key] = _frame_dates(_date_column(days, self._utc), days)
        return frame


_SEASON_ORDER = [
    "body",
    "date_tt",
    "date_utc",
    "days_j2000",
    "distance_au",
    "ls_deg",
    "subsolar_latitude_planetocentric_deg",
    "subsolar_lon_deg",
    "true_anomaly_deg",
    "flux_w_m2",
    "mars_year",
]
_SUN_ORDER = [
    "date_tt",
    "date_utc",
    "days_j2000",
    "ltst",
    "lmst",
    "solar_zenith_deg",
    "solar_elevation_deg",
    "solar_azimuth_deg",
    "insolation_w_m2",
    "sunrise_ltst",
    "sunset_ltst",
    "day_length_h",
    "msd",
    "mtc",
    "sol",
    "day",
]
_INSOLATION_ORDER = [
    "date_tt",
    "date_utc",
    "days_j2000",
    "ls_deg",
    "latitude_deg",
    "insolation_w_m2",
    "day_fraction",
    "day_length_h",
]
_MARS_TIME_ORDER = ["date_tt", "date_utc", "days_j2000", "msd", "mtc", "lmst", "ltst", "eot_h"]


def _table(columns: dict, order: Sequence[str], utc: bool, as_frame: bool, rows: Optional[dict] = None) -> Any:
    """A result with its date column, as a Table or a DataFrame."""
    columns = dict(columns)
    mars = columns.pop("_mars", None)
    columns["date_utc" if utc else "date_tt"] = _date_column(columns["days_j2000"], utc)
    if rows is not None:
        rows = dict(rows)
        rows["date_utc" if utc else "date_tt"] = rows["days_j2000"]
    t = Table(columns, order, rows, mars)
    return t.to_frame() if as_frame else t


# ---- Bodies ------------------------------------------------------------------------

DateLike = Any
"""Any date kest takes (see the package's documentation)."""


def bodies(tables: Optional[Union[str, "_os.PathLike[str]"]] = None, *, as_frame: bool = False) -> Any:
    """Every body of the element tables, as ``kest-season --list`` lists them.

    Parameters
    ----------
    tables : str or path-like, optional
        The directory of the tables. By default the directory named by the
        environment variable ``KEST_TABLES``, else the working directory when
        it holds the tables, else the tables installed with kest.
    as_frame : bool, default False
        Return a pandas DataFrame.

    Returns
    -------
    list of dict, or pandas.DataFrame
        ``name``, ``kind``, ``table``, ``item``, ``planet`` (a satellite's)
        and ``orbit`` (the orbit the body moves on when it is not its own),
        the last two None where they do not apply. A table that cannot be
        read is said in a ``RuntimeWarning``.

    Examples
    --------
    >>> [b["name"] for b in kest.bodies()][:3]  # doctest: +SKIP
    ['Mercury', 'Venus', 'Earth']
    """
    out = _kest.bodies(tables)
    if as_frame:
        import pandas as pd

        return pd.DataFrame(out, columns=["name", "kind", "table", "item", "planet", "orbit"])
    return out


class Body:
    """A body of the element tables, by name.

    Parameters
    ----------
    name : str
        The body's name, letter case ignored, a unique start enough, as
        ``kest-season`` matches it (``kest-season --list`` lists them).
    tables : str or path-like, optional
        The directory of the tables (see ``bodies``).
    epoch : float, optional
        A year (2024.5) at which to freeze a planet's or satellite's elements
        and pole, as the dialogue does; by default they are evaluated at each
        date.
    ephemeris : {"accurate", "mean"}, optional
        Where a planet's positions come from. ``"accurate"`` (the default
        unless ``epoch`` is given): VSOP87 through libnova, Pluto's theory
        for 1885-2099, the Earth itself from ERFA for 1900-2100, the mean
        elements outside with a warning; a satellite moves with its planet.
        ``"mean"``: the mean elements of the planet table at each date.
        Other kinds of body keep their own elements.
    apparent : bool, default False
        For the Earth: Ls and the subsolar latitude of the apparent Sun of
        date (aberration and nutation), as the almanacs give equinoxes and
        solstices; by default geometric.

    Raises
    ------
    ValueError
        When no body, or more than one, has the name, or its elements give
        no orbit.
    FileNotFoundError
        When the directory holds no tables.

    Examples
    --------
    >>> mars = kest.Body("Mars")
    >>> mars.obliquity  # degrees  # doctest: +SKIP
    25.19...
    """

    __slots__ = ("_body",)

    def __init__(
        self,
        name: str,
        tables: Optional[Union[str, "_os.PathLike[str]"]] = None,
        epoch: Optional[float] = None,
        *,
        ephemeris: Optional[str] = None,
        apparent: bool = False,
    ) -> None:
        self._body = _kest.Body(name, tables=tables, epoch=epoch, ephemeris=ephemeris, apparent=apparent)

    @classmethod
    def _of(cls, body: "_kest.Body") -> "Body":
        b = cls.__new__(cls)
        b._body = body
        return b

    @classmethod
    def from_elements(
        cls,
        name: str,
        *,
        a: Optional[float] = None,
        q: Optional[float] = None,
        e: Optional[float] = None,
        i: Optional[float] = None,
        node: Optional[float] = None,
        peri: Optional[float] = None,
        tp: DateLike = None,
        M: Optional[float] = None,
        epoch: DateLike = None,
        pole: Any = None,
        rotation_period: Optional[Union[float, str]] = None,
    ) -> "Body":
        """A body of one's own from its orbital elements.

        It is set up as a minor body of the tables is, and gives the same
        seasons as the tables for the same numbers.

        Parameters
        ----------
        name : str
            The body's name.
        a, q : float
            The semi-major axis or the perihelion distance, AU (one of them).
        e : float
            The eccentricity, 0 <= e < 1.
        i, node, peri : float
            Inclination, longitude of the ascending node and argument of
            perihelion, degrees, of the J2000.0 ecliptic and equinox.
        tp : date
            The time of perihelion; or
        M, epoch : float, date
            the mean anomaly (degrees) at an epoch.
        pole : (float, float) or dict, optional
            The spin pole: (ra, dec) of the J2000.0 equator in degrees, or a
            dict of ``ra`` and ``dec``, or of ``lon`` and ``lat`` of the
            J2000.0 ecliptic, with ``frame="B1950"`` for B1950.0. Without a
            pole, Ls and the subsolar point are NaN.
        rotation_period : float or str, optional
            The sidereal rotation period in hours, or a text such as
            "4.196h" or "0.17d".

        Returns
        -------
        Body

        Raises
        ------
        ValueError
            Naming the element at fault (e >= 1, a and q both given, ...).

        Examples
        --------
        >>> psyche = kest.Body.from_elements("16 Psyche", a=2.924, e=0.134, i=3.10,
        ...     node=150.0, peri=229.6, tp="2020-06-23", pole={"lon": 32, "lat": -7},
        ...     rotation_period=4.196)
        """
        return cls._of(
            _kest.Body.from_elements(
                name,
                a=a,
                q=q,
                e=e,
                i=_degrees(i, "i") if i is not None else None,
                node=_degrees(node, "node") if node is not None else None,
                peri=_degrees(peri, "peri") if peri is not None else None,
                tp=None if tp is None else _day(tp),
                M=_degrees(M, "M") if M is not None else None,
                epoch=None if epoch is None else _day(epoch),
                pole=pole,
                rotation_period=rotation_period,
            )
        )

    def __repr__(self) -> str:
        return f"kest.Body({self.name!r})"

    @property
    def name(self) -> str:
        """The body's name."""
        return self._body.name

    @property
    def kind(self) -> str:
        """planet, satellite, minor body, small body, comet, exoplanet or given body."""
        return self._body.kind

    @property
    def obliquity(self) -> float:
        """The obliquity, degrees (at the frozen epoch, or J2000.0); NaN without a pole."""
        return self._body.obliquity

    @property
    def rotation_period(self) -> float:
        """The sidereal rotation period, hours."""
        return self._body.rotation_period

    @property
    def orbital_period(self) -> float:
        """The orbital period, days."""
        return self._body.orbital_period

    @property
    def semi_major_axis(self) -> float:
        """The semi-major axis, AU."""
        return self._body.semi_major_axis

    @property
    def eccentricity(self) -> float:
        """The eccentricity."""
        return self._body.eccentricity

    @property
    def perihelion(self) -> float:
        """The time of perihelion, days from J2000.0 (TT)."""
        return self._body.perihelion

    @property
    def perihelion_date(self) -> str:
        """The time of perihelion, ISO 8601 (TT, proleptic Gregorian)."""
        return self._body.perihelion_date

    def seasons(self, dates: DateLike, *, utc: bool = False, as_frame: bool = False) -> Any:
        """The seasons of the body at dates.

        Parameters
        ----------
        dates : date or sequence of dates
            Any date kest takes (see ``help(kest)``); one text is one date.
        utc : bool, default False
            Naive dates are UTC, and the date column is ``date_utc``.
        as_frame : bool, default False
            Return a pandas DataFrame (the same as ``.to_frame()``).

        Returns
        -------
        Table or pandas.DataFrame
            Arrays, one value per date: ``date_tt`` (datetime64[us]; or
            ``date_utc``), ``days_j2000`` (days from J2000.0, TT),
            ``distance_au`` (AU), ``ls_deg`` (Ls, degrees),
            ``subsolar_latitude_planetocentric_deg`` (degrees),
            ``subsolar_lon_deg`` (planetocentric east longitude of the
            subsolar point, degrees 0 to 360, from the body's prime
            meridian), ``true_anomaly_deg`` (degrees), ``flux_w_m2`` (the
            Sun's flux at the body, W/m^2), and for Mars ``mars_year``.
            Missing dates (NaN, NaT) give rows of NaN.

        Warns
        -----
        ModelWarning
            Once for each limit of the model over the dates (dates outside
            the years a planet's mean elements are fitted for, the Earth-Moon
            barycentre standing for the Earth, an assumed spin, ...).

        Raises
        ------
        ValueError
            For a date outside the years -4712 to 9999, or a text that is not
            a date. TypeError for a date of a type kest does not take.

        Examples
        --------
        >>> import numpy as np
        >>> days = np.arange(np.datetime64("2026-01-01"), np.datetime64("2027-01-01"))
        >>> s = kest.Body("Mars").seasons(days)
        >>> s["ls_deg"][:2]  # doctest: +SKIP
        array([198.80..., 199.39...])
        """
        out = self._body.seasons(_days(dates, utc), utc=utc)
        return _table(out, _SEASON_ORDER, utc, as_frame)

    def events(
        self,
        start: DateLike,
        end: DateLike,
        ls: Iterable[float] = (0.0, 90.0, 180.0, 270.0),
        *,
        utc: bool = False,
        as_frame: bool = False,
    ) -> Any:
        """The instants Ls passes the given angles, and the perihelia and
        aphelia, in time order, from start to end.

        Parameters
        ----------
        start, end : date
            The span.
        ls : sequence of float, default (0, 90, 180, 270)
            Season angles, degrees (equinoxes and solstices by default).
        utc : bool, default False
            Naive dates are UTC; the date is given as ``date_utc``.
        as_frame : bool, default False
            Return a pandas DataFrame.

        Returns
        -------
        Events or pandas.DataFrame
            A list of dicts, each a row of ``kest-season events --csv``:
            ``date_tt`` (ISO text), ``event`` ("perihelion", "aphelion",
            "Ls=90", ...), ``days_j2000`` and the season columns.

        Raises
        ------
        ValueError
            When the start lies after the end, or the span holds more than
            2,000,000 events.

        Examples
        --------
        >>> kest.Body("Mars").events("2026-01-01", "2028-01-01")[0]["event"]  # doctest: +SKIP
        'perihelion'
        """
        angles = [_degrees(a, "a season angle") for a in ls]
        e = Events(self._body.events(_day(start, utc), _day(end, utc), angles, utc=utc), utc)
        return e.to_frame() if as_frame else e

    def date_of_ls(self, ls: float, after: DateLike, *, utc: bool = False) -> dict:
        """The first instant after a date when Ls passes an angle.

        Parameters
        ----------
        ls : float
            The season angle, degrees.
        after : date
            The date to search from (within one and a half orbits).
        utc : bool, default False
            Naive dates are UTC; the date is given as ``date_utc``.

        Returns
        -------
        dict
            A row as ``events`` gives it.

        Examples
        --------
        >>> kest.Body("Mars").date_of_ls(0, after="2026-01-01")["date_tt"]  # doctest: +SKIP
        '2026-09-30T...'
        """
        return self._body.date_of_ls(_degrees(ls, "ls"), _day(after, utc), utc=utc)

    def sun(
        self,
        dates: DateLike,
        lat: float,
        lon: float,
        *,
        west: bool = False,
        utc: bool = False,
        landing: DateLike = None,
        as_frame: bool = False,
    ) -> Any:
        """The Sun at a place of the body at dates, as ``kest-season sun``.

        The body is a sphere; the Sun is taken at its centre, without an
        atmosphere or refraction.

        Parameters
        ----------
        dates : date or sequence of dates
        lat : float
            Planetocentric latitude, degrees, -90 to 90.
        lon : float
            East longitude, degrees (west with ``west=True``); it wraps.
        west : bool, default False
            ``lon`` is a planetographic west longitude (Mars's maps).
        utc : bool, default False
            Naive dates are UTC, and the date column is ``date_utc``.
        landing : date, optional
            For Mars: a landing date, from which ``sol`` counts (sol 0 is the
            landing sol).
        as_frame : bool, default False
            Return a pandas DataFrame.

        Returns
        -------
        Table or pandas.DataFrame
            ``ltst`` and ``lmst`` (local true and mean solar time, hours of
            the body's own 24 to its solar day), ``solar_zenith_deg``,
            ``solar_elevation_deg``, ``solar_azimuth_deg`` (from north
            through east), ``insolation_w_m2`` (level ground, top of the
            atmosphere), ``sunrise_ltst`` and ``sunset_ltst`` (hours; NaN in
            polar day or night), ``day_length_h`` (hours of time), ``day``
            ("polar day", "polar night" or ""), and for Mars ``msd``,
            ``mtc`` (hours) and, with a landing, ``sol``.

        Raises
        ------
        ValueError
            For a latitude outside -90 to 90, a body without a rotation
            period, or a landing for a body other than Mars.

        Examples
        --------
        >>> kest.Body("Mars").sun("2021-02-18T20:55Z", 18.44, 77.45)["ltst"]  # doctest: +SKIP
        array([15.6...])
        """
        out = self._body.sun(
            _days(dates, utc),
            _degrees(lat, "lat"),
            _degrees(lon, "lon"),
            west=west,
            utc=utc,
            landing=None if landing is None else _day(landing, utc),
        )
        return _table(out, _SUN_ORDER, utc, as_frame)

    def insolation(self, dates: DateLike, latitudes: Iterable[float], *, utc: bool = False, as_frame: bool = False) -> Any:
        """The diurnal-mean insolation over dates and latitudes.

        Parameters
        ----------
        dates : date or sequence of dates
        latitudes : sequence of float
            Planetocentric latitudes, degrees, -90 to 90.
        utc : bool, default False
            Naive dates are UTC, and the date column is ``date_utc``.
        as_frame : bool, default False
            Return a pandas DataFrame in long form, one row per date and
            latitude, as ``kest-season insolation --csv``.

        Returns
        -------
        Table or pandas.DataFrame
            ``days_j2000`` and ``ls_deg`` per date, ``latitude_deg`` per
            latitude, and 2-D arrays (dates x latitudes) ``insolation_w_m2``
            (top of the atmosphere, averaged over the solar day),
            ``day_fraction`` and ``day_length_h``.

        Raises
        ------
        ValueError
            For a latitude outside -90 to 90, or a grid of more than 10^8
            cells.

        Examples
        --------
        >>> import numpy as np
        >>> g = kest.Body("Mars").insolation(["2026-12-09"], np.arange(-90, 91, 5))
        >>> g["insolation_w_m2"].shape
        (1, 37)
        """
        lats = [_degrees(x, "a latitude") for x in latitudes]
        out = self._body.insolation(_days(dates, utc), lats, utc=utc)
        rows = {"days_j2000": 0, "ls_deg": 0, "latitude_deg": 1}
        return _table(out, _INSOLATION_ORDER, utc, as_frame, rows)

    def mars_time(self, dates: DateLike, lon: float, *, west: bool = False, utc: bool = False, as_frame: bool = False) -> Any:
        """Mars time at dates and a longitude, by the Allison-McEwen (Mars24)
        algorithm.

        Parameters
        ----------
        dates : date or sequence of dates
        lon : float
            East longitude, degrees (west with ``west=True``).
        west : bool, default False
            ``lon`` is a planetographic west longitude.
        utc : bool, default False
            Naive dates are UTC, and the date column is ``date_utc``.
        as_frame : bool, default False
            Return a pandas DataFrame.

        Returns
        -------
        Table or pandas.DataFrame
            ``msd`` (Mars Sol Date), ``mtc``, ``lmst``, ``ltst`` (hours) and
            ``eot_h`` (LTST - LMST, hours).

        Raises
        ------
        ValueError
            For a body other than Mars.

        Examples
        --------
        >>> kest.Body("Mars").mars_time("2000-01-06T00:00Z", 0)["msd"]  # doctest: +SKIP
        array([44795.99...])
        """
        out = self._body.mars_time(_days(dates, utc), _degrees(lon, "lon"), west=west, utc=utc)
        return _table(out, _MARS_TIME_ORDER, utc, as_frame)

    def state(self, epoch: Optional[float] = None) -> dict:
        """The state record of the body: the orbital input of the surface
        thermal model, equal to the bit to what the dialogue's option 1 sets
        up and its option 2 saves.

        Parameters
        ----------
        epoch : float, optional
            A year (2024.5: TC = 0.245 centuries) at which a planet's or
            satellite's elements and pole are taken; None takes the Body's
            frozen epoch, else J2000.0 (TC = 0). Other kinds take no epoch.

        Returns
        -------
        dict
            The 30 fields by the names of the listing (angles in radians,
            SJA in AU, OPERIOD in days, TJP in days from J2000.0, SIDAY
            hours for a planet or satellite and days otherwise),
            ``BFRM:1`` ... ``BFRM:9`` and ``BFRM`` as a 3 x 3 array, as
            ``read_state`` gives a binary record.

        Raises
        ------
        ValueError
            For a year outside 1000 to 3000, a body without a pole, or
            elements that give no orbit at the epoch.

        Examples
        --------
        >>> kest.write_state("KESTCM.DAT", kest.Body("Mars").state(2025.0), record=1)  # doctest: +SKIP
        """
        return self._body.state(epoch)


def seasons(
    bodies: Iterable[Union[Body, str]],
    dates: DateLike,
    *,
    tables: Optional[Union[str, "_os.PathLike[str]"]] = None,
    epoch: Optional[float] = None,
    ephemeris: Optional[str] = None,
    apparent: bool = False,
    utc: bool = False,
    as_frame: bool = False,
) -> Any:
    """The seasons of several bodies at the same dates.

    Parameters
    ----------
    bodies : sequence of Body or str
        Bodies, or names of the tables (set up with ``tables`` and
        ``epoch``).
    dates : date or sequence of dates
    tables : str or path-like, optional
        The directory of the tables, for names.
    epoch : float, optional
        A year at which to freeze the named bodies' elements.
    ephemeris : {"accurate", "mean"}, optional
        The positions of the named bodies, as ``Body`` takes them.
    apparent : bool, default False
        The apparent Sun, for the Earth named.
    utc : bool, default False
        Naive dates are UTC, and the date column is ``date_utc``.
    as_frame : bool, default False
        Return a pandas DataFrame in long form, one row per body and date,
        as ``kest-season --csv table`` of several bodies.

    Returns
    -------
    Table or pandas.DataFrame
        ``body`` (the names), ``days_j2000`` per date, and 2-D arrays
        (bodies x dates) of the season columns of ``Body.seasons``;
        ``mars_year`` when one of the bodies is Mars (0 in the others' rows).

    Examples
    --------
    >>> many = kest.seasons(["Mars", "Jupiter"], ["2026-12-10", "2027-06-10"])
    >>> many["ls_deg"].shape
    (2, 2)
    """
    if isinstance(bodies, str):
        raise TypeError("bodies must be a sequence of Body objects or names")
    given = [b._body if isinstance(b, Body) else b for b in bodies]
    out = _kest.seasons(given, _days(dates, utc), tables=tables, epoch=epoch, ephemeris=ephemeris, apparent=apparent, utc=utc)
    rows = {"body": 0, "days_j2000": 1}
    return _table(out, _SEASON_ORDER, utc, as_frame, rows)


def read_state(path: Union[str, bytes, "_os.PathLike[str]"], record: Optional[int] = None) -> dict:
    """A state record of a state file, as the dialogue's option 2 restores it.

    Parameters
    ----------
    path : str, bytes or path-like
        The file.
    record : int, optional
        Record N (1 to 15) of a binary state file such as KESTCM.DAT; None
        reads the first record of a text state file.

    Returns
    -------
    dict
        The 30 fields PLANUM ... PBUG, ``BFRM:1`` ... ``BFRM:9``, ``BFRM``
        as a 3 x 3 array, and for a text record ``title`` and ``runtime``.

    Raises
    ------
    OSError
        When the system refuses the file (FileNotFoundError, ...).
    ValueError
        When the file holds no such record.

    Examples
    --------
    >>> s = kest.read_state("KESTCM.DAT", record=1)  # doctest: +SKIP
    """
    return _kest.read_state(path, record)


def write_state(
    path: Union[str, bytes, "_os.PathLike[str]"],
    state: dict,
    record: Optional[int] = None,
    title: Optional[str] = None,
    runtime: Optional[str] = None,
) -> None:
    """Writes a state record as the dialogue saves it.

    Parameters
    ----------
    path : str, bytes or path-like
        The file.
    state : dict
        Every field PLANUM ... PBUG, and ``BFRM`` as a 3 x 3 array and/or
        ``BFRM:1`` ... ``BFRM:9``, as ``read_state`` or ``Body.state`` give.
    record : int, optional
        Record N (1 to 15) of a binary state file; None appends a text
        record.
    title : str, optional
        At most 25 printable ASCII characters (a text record's title).
    runtime : str, optional
        At most 20 printable ASCII characters.

    Raises
    ------
    ValueError
        Naming the field at fault, before anything is written.
    OSError
        When the file cannot be written (a write that fails is taken back).

    Examples
    --------
    >>> kest.write_state("KESTCM.DAT", kest.Body("Mars").state(2025.0), record=1)  # doctest: +SKIP
    """
    _kest.write_state(path, state, record, title, runtime)
