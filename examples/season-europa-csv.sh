#!/bin/sh
# Europa's seasons over one Jovian year (11.9 years, from one Ls = 0 to the
# next), every 10 days, as CSV: its subsolar latitude (the column
# subsolar_latitude_planetocentric_deg) swings between +2.8 and -2.8 degrees
# (Europa turns about a pole close to Jupiter's). To draw it:
#   examples/season-europa-csv.sh > europa.csv
#   tools/plot-ephemeris --x ls europa.csv europa.png
exec "$(dirname "$0")/season" --csv table Europa --from 2021-02-18 --to 2032-12-29 --step 10d
