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

tables = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data")
dates = np.arange(1_000_000) * 0.01
for epoch in (None, 2000.0):
    body = kest.Body("Mars", tables=tables, epoch=epoch)
    best = min(_timed for _timed in (
        (lambda t0: (body.seasons(dates), time.perf_counter() - t0)[1])(time.perf_counter()) for _ in range(5)))
    print(f"Mars, 10^6 dates, {'elements at each date' if epoch is None else 'frozen epoch'}: {best:.3f} s (best of 5)")
