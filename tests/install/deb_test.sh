#!/bin/sh
# The Debian package: built by CPack from the build tree, it holds the
# programs, the tables and the manual pages under /usr and nothing of the
# library, and it installs in a scratch root, where kest-season finds the
# root's tables through its own location.
#   deb_test.sh BUILD_DIR VERSION
# It runs as the current user, root too: CPack installs into a staging
# directory of its own, and the package's contents show any file put
# elsewhere.
set -eu
build=$1 version=$2
CPACK=${CPACK:-cpack}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kest-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "deb_test: $*" >&2; exit 1; }

"$CPACK" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(find "$scratch/pkg" -maxdepth 1 -name "kest_${version}_*.deb" 2> /dev/null | head -n 1)
[ -n "$deb" ] || { ls "$scratch/pkg"; fail "no kest_${version}_ARCH.deb"; }

# The control fields.
dpkg-deb -I "$deb" > "$scratch/info"
for field in "Package: kest" "Version: $version" "Architecture: $(dpkg --print-architecture)" "Maintainer: " \
             "Section: science" "Description: seasons of"; do
  grep -q "^ *$field" "$scratch/info" || { cat "$scratch/info"; fail "the control file has no '$field'"; }
done
depends=$(sed -n 's/^ *Depends: //p' "$scratch/info")
# The libraries the programs load: the C++ runtime only when they do not
# carry it in their own files.
libs="libc6 liberfa1 libnova-0.16-0"
if objdump -p "$build/kest-season" "$build/kest" | grep -q 'NEEDED *libstdc++'; then libs="$libs libstdc++6"; fi
for lib in $libs; do
  echo "$depends" | grep -q "$lib" || fail "Depends '$depends' lacks $lib"
done

# The contents: the programs, the tables and the manual pages, under /usr.
dpkg-deb -c "$deb" | awk '{ print $NF }' > "$scratch/contents"
for f in ./usr/bin/kest ./usr/bin/kest-season ./usr/share/kest/planelem.tab ./usr/share/kest/rotation.tab \
         ./usr/share/man/man1/kest.1 ./usr/share/man/man1/kest-season.1; do
  grep -qx "$f" "$scratch/contents" || fail "the package lacks $f"
done
if grep -E '\.(a|hpp|pc|cmake|so)$|/include/|python' "$scratch/contents"; then
  fail "the package holds more than the programs, tables and manual pages"
fi
grep -v -E '^\./(usr/?)?$|^\./usr/(bin|share)(/|$)' "$scratch/contents" && fail "the package holds files outside /usr/bin and /usr/share"

# Unpacked into a scratch root, kest-season reads the root's tables from any
# working directory: with small.tab taken out of them, no small body is
# listed.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
"$root/usr/bin/kest-season" --csv at Mars 2026-12-10 > "$scratch/row" || fail "kest-season of the package does not run"
grep -q '^2026-12-10' "$scratch/row" || fail "kest-season of the package gave no row: $(cat "$scratch/row")"
rm "$root/usr/share/kest/small.tab"
"$root/usr/bin/kest-season" --csv --list 2> /dev/null | grep -q ',small body,' &&
  fail "kest-season of the package read tables other than the root's"
printf 'T\n0\n' | "$root/usr/bin/kest" | grep -q 'Option Kode' || fail "kest of the package does not run"
echo "deb_test: $(basename "$deb") holds the programs and installs in a scratch root"
