#!/bin/sh
# The Earth's seasons of 2024: both equinoxes (Ls = 0 and 180), both
# solstices (Ls = 90 and 270), perihelion and aphelion, in time order, in TT.
# kest's Ls is geometric (no aberration, no nutation), so the instants come
# some minutes before the published ones (docs/validation.md).
exec "$(dirname "$0")/season" events Earth --from 2024-01-01 --to 2024-12-31
