#!/usr/bin/python3
"""The Python module's seasons of 10^6 dates (the loop runs in C++ on every
core), with the elements at each date and frozen at an epoch.

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
for epoch in (None, 2000.0):
    body = kest.Body("Mars", tables=tables, epoch=epoch)
    label = "elements at each date" if epoch is None else "frozen epoch"
    print(f"Mars, 10^6 dates, {label}: {best_of(5, lambda: body.seasons(dates)):.3f} s (best of 5)")
