#!/bin/sh
exec "$(dirname "$0")/run" mars-year-ls "$@"
