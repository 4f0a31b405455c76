#!/bin/sh
# The starts of Mars years 36, 37 and 38: the instants (TT) when Mars's Ls
# passes 0, each with the number of the Mars year it begins (year 1 began
# on 1955 April 11); the perihelia and aphelia between come with them.
# Expect the starts on 2021-02-07, 2022-12-26 and 2024-11-12.
exec "$(dirname "$0")/season" events Mars --from 2021-01-01 --to 2025-12-31 --ls 0
