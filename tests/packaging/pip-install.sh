#!/usr/bin/env bash
# pip install . and pip wheel . offline, from a copy of the source tree,
# into a scratch virtual environment that sees the system's packages
# (numpy): the installed package is the one imported, has its version,
# stubs and tables, finds the tables from any directory, gives the build
# tree's numbers, and pip uninstalls it.
#   pip-install.sh SOURCE_DIR PYTHON BUILD_PYTHONPATH
set -euo pipefail
src=$1 python=$2 built=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "pip-install: $*" >&2; exit 1; }

# The source without build directories or the repository.
mkdir "$work/src"
(cd "$src" && tar --exclude='./build*' --exclude=./.git -cf - .) | (cd "$work/src" && tar -xf -)
"$python" -m venv --system-site-packages "$work/venv"
pip=("$work/venv/bin/python" -m pip --disable-pip-version-check --no-input)
export CMAKE_BUILD_PARALLEL_LEVEL=2
"${pip[@]}" install --no-build-isolation --no-index "$work/src" >"$work/install.log" 2>&1 ||
  { tail -30 "$work/install.log"; fail "pip install . failed"; }

mkdir "$work/elsewhere"
cd "$work/elsewhere"
"$work/venv/bin/python" - "$work/venv" "$built" <<'PY' || fail "the installed package is not right"
import os, subprocess, sys
import numpy as np
import kest
venv, built = sys.argv[1], sys.argv[2]
here = os.path.dirname(kest.__file__)
assert here.startswith(venv), here
assert kest.__version__.count(".") == 2, kest.__version__
for f in ("__init__.pyi", "py.typed", "tables/planelem.tab"):
    assert os.path.isfile(os.path.join(here, f)), f
mars = kest.Body("Mars")  # the package's own tables: there are none here
got = mars.seasons(np.linspace(9000.0, 9800.0, 9))["ls_deg"]
# The build tree's module, run apart, gives the same bits.
code = ("import kest, numpy as np, sys; d = sys.argv[1]; "
        "sys.stdout.write(kest.Body('Mars', tables=d).seasons(np.linspace(9000.0, 9800.0, 9))['ls_deg'].tobytes().hex())")
want = subprocess.run([sys.executable, "-c", code, os.path.join(here, "tables")], env=dict(os.environ, PYTHONPATH=built),
                      capture_output=True, text=True, check=True).stdout
assert got.tobytes().hex() == want, (got, want)
PY

cd "$work"
"${pip[@]}" wheel --no-build-isolation --no-index --no-deps -w "$work/dist" "$work/src" >"$work/wheel.log" 2>&1 ||
  { tail -30 "$work/wheel.log"; fail "pip wheel . failed"; }
wheel=$(ls "$work"/dist/kest-*.whl)
"$python" -c "import sys, zipfile; n = set(zipfile.ZipFile(sys.argv[1]).namelist()); \
assert {'kest/__init__.py', 'kest/__init__.pyi', 'kest/py.typed', 'kest/tables/planelem.tab'} <= n, n; \
assert any(x.startswith('kest/_kest') and x.endswith('.so') for x in n), n" "$wheel" || fail "the wheel lacks a file"

"${pip[@]}" uninstall -y kest >/dev/null || fail "pip uninstall failed"
if (cd "$work/elsewhere" && "$work/venv/bin/python" -c "import kest" 2>/dev/null); then fail "kest is still importable after uninstall"; fi
echo "pip-install: installed, checked, wheeled and uninstalled"
