#!/bin/sh
exec "$(dirname "$0")/run" earth-seasons "$@"
