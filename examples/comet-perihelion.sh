#!/bin/sh
exec "$(dirname "$0")/run" comet-perihelion "$@"
