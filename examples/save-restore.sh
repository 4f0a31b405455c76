#!/bin/sh
d=${1:-save-restore.out}; "$(dirname "$0")/run" save-state "$d" && "$(dirname "$0")/run" restore-state "$d"
