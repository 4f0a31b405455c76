import datetime
import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

# Any date kest takes: days from J2000.0 (TT), numpy datetime64, datetime,
# date, pandas Timestamp, DatetimeIndex or Series, astropy Time, an astropy
# Quantity of time, or an ISO 8601 text; alone or in a sequence or array.
DateLike = Union[float, int, str, np.datetime64, datetime.date, datetime.datetime, Any]
DatesLike = Union[DateLike, Sequence[DateLike], npt.ArrayLike]
PathLike = Union[str, "os.PathLike[str]"]

class ModelWarning(UserWarning): ...

class Table(dict):
    def __init__(self, columns: dict, order: Sequence[str], rows: Optional[dict] = ...) -> None: ...
    def to_frame(self) -> Any: ...

class Events(list):
    def __init__(self, rows: Iterable[dict], utc: bool) -> None: ...
    def to_frame(self) -> Any: ...

def bodies(tables: Optional[PathLike] = ..., *, as_frame: bool = ...) -> Any: ...

class Body:
    def __init__(
        self, name: str, tables: Optional[PathLike] = ..., epoch: Optional[float] = ..., *,
        ephemeris: Optional[str] = ..., apparent: bool = ...
    ) -> None: ...
    @classmethod
    def from_elements(
        cls,
        name: str,
        *,
        a: Optional[float] = ...,
        q: Optional[float] = ...,
        e: Optional[float] = ...,
        i: Optional[float] = ...,
        node: Optional[float] = ...,
        peri: Optional[float] = ...,
        tp: Optional[DateLike] = ...,
        M: Optional[float] = ...,
        epoch: Optional[DateLike] = ...,
        pole: Union[None, Tuple[float, float], Mapping[str, Union[float, str]]] = ...,
        rotation_period: Union[None, float, str] = ...,
    ) -> Body: ...
    @property
    def name(self) -> str: ...
    @property
    def kind(self) -> str: ...
    @property
    def obliquity(self) -> float: ...
    @property
    def rotation_period(self) -> float: ...
    @property
    def orbital_period(self) -> float: ...
    @property
    def semi_major_axis(self) -> float: ...
    @property
    def eccentricity(self) -> float: ...
    @property
    def perihelion(self) -> float: ...
    @property
    def perihelion_date(self) -> str: ...
    def seasons(self, dates: DatesLike, *, utc: bool = ..., as_frame: bool = ...) -> Any: ...
    def events(
        self,
        start: DateLike,
        end: DateLike,
        ls: Iterable[float] = ...,
        *,
        utc: bool = ...,
        as_frame: bool = ...,
    ) -> Any: ...
    def date_of_ls(self, ls: float, after: DateLike, *, utc: bool = ...) -> dict: ...
    def sun(
        self,
        dates: DatesLike,
        lat: float,
        lon: float,
        *,
        west: bool = ...,
        utc: bool = ...,
        landing: Optional[DateLike] = ...,
        as_frame: bool = ...,
    ) -> Any: ...
    def insolation(
        self, dates: DatesLike, latitudes: Iterable[float], *, utc: bool = ..., as_frame: bool = ...
    ) -> Any: ...
    def mars_time(
        self, dates: DatesLike, lon: float, *, west: bool = ..., utc: bool = ..., as_frame: bool = ...
    ) -> Any: ...
    def state(self, epoch: Optional[float] = ...) -> dict: ...

def seasons(
    bodies: Iterable[Union[Body, str]],
    dates: DatesLike,
    *,
    tables: Optional[PathLike] = ...,
    epoch: Optional[float] = ...,
    ephemeris: Optional[str] = ...,
    apparent: bool = ...,
    utc: bool = ...,
    as_frame: bool = ...,
) -> Any: ...
def read_state(path: Union[str, bytes, "os.PathLike[str]"], record: Optional[int] = ...) -> dict: ...
def write_state(
    path: Union[str, bytes, "os.PathLike[str]"],
    state: dict,
    record: Optional[int] = ...,
    title: Optional[str] = ...,
    runtime: Optional[str] = ...,
) -> None: ...
