#!/usr/bin/python3
"""The Python module's seasons of 10^6 dates (the loop runs in C++ on every
core), with the elements at each date and frozen at an epoch; the Sun at a
place at 10^6 dates, the insolation of 10^3 dates by 181 latitudes, and
the seasons of 10^3 bodies of one's own at 10^3 dates.

    PYTHONPATH=build/python bench/python_seasons.py [TABLES_DIR]
"""
import os
import sys
import time

import numpy as np

import kest


def best_of(runs, work):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


tables = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data")
dates = np.arange(1_000_000) * 0.01
for epoch, ephemeris in ((None, None), (None, "mean"), (2000.0, None)):
    body = kest.Body("Mars", tables=tables, epoch=epoch, ephemeris=ephemeris)
    label = ("frozen epoch" if epoch is not None else
             "mean elements at each date" if ephemeris == "mean" else "accurate positions")
    print(f"Mars, 10^6 dates, {label}: {best_of(5, lambda: body.seasons(dates)):.3f} s (best of 5)")

# The Sun at a place and the insolation grid: 10^6 dates at Gale crater,
# and 10^3 dates by 181 latitudes.
mars = kest.Body("Mars", tables=tables)
print(f"Mars, sun at 10^6 dates: {best_of(5, lambda: mars.sun(dates, -4.59, 137.44)):.3f} s (best of 5)")
grid_dates = np.linspace(0.0, 687.0, 1000)
latitudes = np.arange(-90.0, 91.0, 1.0)
print(f"Mars, insolation of 10^3 dates x 181 latitudes: "
      f"{best_of(5, lambda: mars.insolation(grid_dates, latitudes)):.4f} s (best of 5)")

# 10^3 asteroids given by their elements, at 10^3 dates.
rng = np.random.default_rng(1)
rocks = [kest.Body.from_elements(f"rock {k}", a=rng.uniform(2.0, 3.3), e=rng.uniform(0.0, 0.3), i=rng.uniform(0, 30),
                                 node=rng.uniform(0, 360), peri=rng.uniform(0, 360), M=rng.uniform(0, 360),
                                 epoch=9000.0, pole=(rng.uniform(0, 360), rng.uniform(-90, 90)), rotation_period=6.0)
         for k in range(1000)]
survey_dates = np.linspace(9000.0, 9700.0, 1000)
import warnings
with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    print(f"10^3 bodies x 10^3 dates (kest.seasons): "
          f"{best_of(5, lambda: kest.seasons(rocks, survey_dates)):.3f} s (best of 5)")
