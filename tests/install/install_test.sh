#!/bin/sh
# The installation as a user makes it: the build tree installed into a
# scratch prefix, as a user without root (nobody, when run as root).
#   install_test.sh SOURCE_DIR BUILD_DIR LIBDIR CXX [no-consumers]
# - nothing is written outside the prefix: the manifest lists nothing else,
#   and a write to a system directory fails;
# - the programs run from the prefix and find its tables from any working
#   directory, also when the prefix is moved; KEST_TABLES overrides them, and
#   a KEST_TABLES without tables is named, with status 2;
# - a program on the core builds against the installed package, with
#   find_package(kest) and with pkg-config, and gives the Ls of kest-season;
# - the uninstall target leaves nothing of kest in the prefix.
# "no-consumers" (sanitizer builds) leaves the two consumers out: their core
# libraries need the sanitizers' runtimes, which the package does not carry.
set -eu
CMAKE=${CMAKE:-cmake}
src=$1 build=$2 libdir=$3 cxx=$4 consumers=${5:-yes}
fail() { echo "install_test: $*" >&2; exit 1; }

# Root may write anywhere, so an installation run as root would not show one
# that writes outside its prefix: root runs this script again as nobody,
# with a home of nobody's own and the scratch prefix made in /tmp. Nobody
# must be able to read the sources and the build tree. The one file the
# installation writes in the build tree, install_manifest.txt, is nobody's
# for the run and root's own again after it (gone, if there was none): the
# uninstall target cannot remove it from root's directory and passes over
# it. To run that target, the build tool must not write in the build tree
# either: make does not; Ninja writes its log there, and a Ninja build
# cannot run this test as root.
# A tree that nobody cannot reach (a checkout under a directory of root's
# alone) is installed by root, as before, and says so: then only the
# manifest shows a write outside the prefix.
as_root() { echo "install_test: $*: installed as root; only the manifest shows writes outside the prefix"; }
switch=no
if [ "$(id -u)" -eq 0 ]; then
  if ! command -v setpriv > /dev/null; then
    as_root "setpriv is missing"
  elif ! id nobody > /dev/null 2>&1; then
    as_root "there is no user nobody"
  else
    uid=$(id -u nobody) gid=$(id -g nobody)
    switch=yes
    for f in "$0" "$src/data/planelem.tab" "$build/cmake_install.cmake" "$build/kest-season"; do
      if ! setpriv --reuid="$uid" --regid="$gid" --clear-groups --no-new-privs test -r "$f"; then
        as_root "nobody cannot read $f"
        switch=no
        break
      fi
    done
  fi
fi
if [ $switch = yes ]; then
  as_nobody() { setpriv --reuid="$uid" --regid="$gid" --clear-groups --no-new-privs "$@"; }
  outer=$(mktemp -d /tmp/kest-install-root.XXXXXX)
  trap 'rm -rf "$outer"' EXIT
  chmod 711 "$outer"
  mkdir "$outer/nobody"
  chown "$uid:$gid" "$outer/nobody"
  manifest=$build/install_manifest.txt
  if [ -e "$manifest" ]; then cp -p "$manifest" "$outer/manifest"; fi
  trap 'rm -f "$manifest"; if [ -e "$outer/manifest" ]; then mv "$outer/manifest" "$manifest"; fi; rm -rf "$outer"' EXIT
  : > "$manifest"
  chown "$uid:$gid" "$manifest"
  status=0
  as_nobody env HOME="$outer/nobody" TMPDIR=/tmp sh "$0" "$@" || status=$?
  exit $status
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kest-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
date=2026-12-10

# The current user installs; nothing is written outside the prefix.
"$CMAKE" --install "$build" --prefix "$prefix" > "$scratch/install.log" || { cat "$scratch/install.log"; fail "install failed"; }
for f in bin/kest bin/kest-season share/kest/planelem.tab share/kest/rotation.tab share/man/man1/kest.1 \
         share/man/man1/kest-season.1 "$libdir/libkest_textio.a" "$libdir/libkest_state.a" \
         include/kest/elements/kelements.hpp include/kest/math/kmath.hpp "$libdir/cmake/kest/kestConfig.cmake" \
         "$libdir/cmake/kest/kestConfigVersion.cmake" "$libdir/pkgconfig/kest.pc"; do
  [ -e "$prefix/$f" ] || fail "the installation has no $f"
done
outside=$(grep -v "^$prefix/" "$build/install_manifest.txt" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

# From a directory without tables, the installed ones are read: with
# small.tab taken out of them, no small body is listed.
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
expected=$("$build/kest-season" --tables "$src/data" --csv at Mars $date)
[ "$("$prefix/bin/kest-season" --csv at Mars $date)" = "$expected" ] || fail "the installed kest-season gives other rows"
mv "$prefix/share/kest/small.tab" "$scratch/small.tab"
"$prefix/bin/kest-season" --csv --list > "$scratch/list" 2> /dev/null
grep -q ',small body,' "$scratch/list" && fail "kest-season read tables other than the installed ones"
grep -q ',comet,' "$scratch/list" || fail "kest-season --list from the prefix lists no comet"
# A moved prefix still finds its own tables.
cp -a "$prefix" "$scratch/moved"
"$scratch/moved/bin/kest-season" --csv --list 2> /dev/null | grep -q ',small body,' &&
  fail "a moved installation read tables other than its own"
mv "$scratch/small.tab" "$prefix/share/kest/small.tab"
"$scratch/moved/bin/kest-season" --csv at Mars $date > /dev/null || fail "a moved installation does not run"
rm -rf "$scratch/moved"

# KEST_TABLES overrides the installed tables and the working directory;
# --tables overrides KEST_TABLES.
mkdir "$scratch/mine"
cp "$src"/data/*.tab "$scratch/mine/"
rm "$scratch/mine/comet.tab"
cp "$src"/data/*.tab "$scratch/elsewhere/"
for dir in "$scratch/elsewhere" "$scratch/mine" /; do
  cd "$dir"
  KEST_TABLES=$scratch/mine "$prefix/bin/kest-season" --csv --list 2> /dev/null | grep -q ',comet,' &&
    fail "KEST_TABLES did not override the tables of $dir"
done
KEST_TABLES=$scratch/mine "$prefix/bin/kest-season" --tables "$src/data" --csv --list | grep -q ',comet,' ||
  fail "--tables did not override KEST_TABLES"
# A KEST_TABLES without tables is named, with status 2 and nothing written.
status=0
KEST_TABLES=$scratch/none "$prefix/bin/kest-season" at Mars $date > "$scratch/out" 2> "$scratch/err" || status=$?
[ $status -eq 2 ] || fail "a KEST_TABLES without tables gave status $status, not 2"
[ ! -s "$scratch/out" ] || fail "a KEST_TABLES without tables wrote on standard output"
grep -qF "KEST_TABLES names '$scratch/none', which holds no element tables" "$scratch/err" ||
  fail "the message does not name KEST_TABLES and its directory: $(cat "$scratch/err")"
# The dialogue reads its tables from the working directory, as before.
cd "$scratch/elsewhere"
printf 'T\n0\n' | "$prefix/bin/kest" > "$scratch/screen" || fail "the installed kest did not run"
grep -q 'Option Kode' "$scratch/screen" || fail "the installed kest showed no menu"

# Programs on the core: with CMake's find_package, then with pkg-config.
if [ "$consumers" = yes ]; then
  ls_expected=$("$build/kest-season" --tables "$src/data" --csv at Mars $date | awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "ls_deg") c = i } NR == 2 { print $c }')
  [ -n "$ls_expected" ] || fail "kest-season gave no ls_deg column"
  if ! { "$CMAKE" -S "$src/examples/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
               -DCMAKE_CXX_COMPILER="$cxx" > "$scratch/consumer.log" 2>&1 &&
          "$CMAKE" --build "$scratch/consumer" >> "$scratch/consumer.log" 2>&1; }; then
    cat "$scratch/consumer.log"; fail "the consumer did not build with find_package"
  fi
  cd /
  [ "$("$scratch/consumer/mars_ls" $date)" = "$ls_expected" ] ||
    fail "mars_ls (find_package) gives $("$scratch/consumer/mars_ls" $date), kest-season $ls_expected"
  pc="env PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config"
  [ "$($pc --modversion kest)" = "$(sed -n 's/^Version: //p' "$build/kest.pc")" ] || fail "pkg-config finds no kest"
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 -o "$scratch/mars_ls_pc" "$src/examples/consumer/mars_ls.cpp" \
         -DKEST_TABLES_DIR="\"$($pc --variable=tablesdir kest)\"" $($pc --cflags --libs kest) ||
    fail "the consumer did not build with pkg-config"
  [ "$("$scratch/mars_ls_pc" $date)" = "$ls_expected" ] || fail "mars_ls (pkg-config) gives another Ls"
  KEST_TABLES=$scratch/none "$scratch/mars_ls_pc" $date 2> "$scratch/err" && fail "mars_ls ran on tables that are not there"
  grep -q "KEST_TABLES names" "$scratch/err" || fail "mars_ls does not name KEST_TABLES"
else
  echo "install_test: the consumers are left out: a sanitizer build's core needs its runtime"
fi

# The Python package, when it is built, lies under the prefix, is the one
# imported from there, and reads the prefix's tables (without small.tab)
# from any working directory; KEST_TABLES overrides them.
if [ -n "${KEST_PYTHON_TEST:-}" ]; then
  package=$prefix/$KEST_PYTHON_DIR
  for f in __init__.py __init__.pyi; do
    [ -e "$package/kest/$f" ] || fail "the installation has no Python package in $package"
  done
  mv "$prefix/share/kest/small.tab" "$scratch/small.tab"
  mkdir "$scratch/bare"
  (cd "$scratch/bare" && PYTHONPATH=$package "$KEST_PYTHON_TEST" -c "
import sys, kest
assert kest.__file__.startswith(sys.argv[1]), kest.__file__
tables = {b['table'] for b in kest.bodies()}
assert 'comet.tab' in tables and 'small.tab' not in tables, tables
print(kest.Body('Mars').seasons('$date')['ls_deg'][0])" "$package") > "$scratch/py" 2> "$scratch/py.err" || { cat "$scratch/py.err"; 
    fail "the installed Python package does not read the installed tables"; }
  mv "$scratch/small.tab" "$prefix/share/kest/small.tab"
  (cd "$scratch/bare" && KEST_TABLES=$src/data PYTHONPATH=$package "$KEST_PYTHON_TEST" -c "
import kest; assert 'small.tab' in {b['table'] for b in kest.bodies()}") ||
    fail "KEST_TABLES does not override the package's tables"
fi

# Uninstalling leaves nothing of kest in the prefix, and says so when run again.
"$CMAKE" --build "$build" --target uninstall > "$scratch/uninstall.log" || { cat "$scratch/uninstall.log"; fail "uninstall failed"; }
grep -q "Removed $prefix/bin/kest-season" "$scratch/uninstall.log" || fail "uninstall did not say what it removed"
left=$(find "$prefix" -type f -o -type l; find "$prefix" -depth -type d -name kest)
[ -z "$left" ] || fail "uninstall left $left"
"$CMAKE" --build "$build" --target uninstall > "$scratch/uninstall.log"
grep -q "Nothing of kest is installed" "$scratch/uninstall.log" || fail "a second uninstall did not say that nothing is installed"
echo "install_test: installed, used and uninstalled in $prefix"
