#!/usr/bin/env bash
# Builds the release zip into the build tree and checks what the host's installer needs of it.
set -euo pipefail
src=$1 tree=$2
build=$(dirname "$tree")
[ -f "$build/win32/bin/Fleetfinder.wdx" ] && [ -f "$build/win64/bin/Fleetfinder.wdx64" ] || {
  echo "package_zip: both widths' builds are needed; skipped"; exit 77; }
out=$tree/dist-check
rm -rf "$out"
BUILD_DIR=$build FF_DIST_DIR=$out bash "$src/scripts/package"
version=$(sed -n 's/^set(FF_VERSION "\(.*\)")$/\1/p' "$src/CMakeLists.txt")
zip=$out/Fleetfinder-$version.zip
fail() { echo "package_zip: $*"; exit 1; }
[ -f "$zip" ] || fail "no $zip"
names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$names" = "Fleetfinder.wdx Fleetfinder.wdx64 pluginst.inf readme.txt " ] || fail "unexpected contents: $names"
x=$(mktemp -d); trap 'rm -rf "$x"' EXIT
unzip -q "$zip" -d "$x"
cmp -s "$x/Fleetfinder.wdx" "$build/win32/bin/Fleetfinder.wdx" || fail "32-bit file differs from the build"
cmp -s "$x/Fleetfinder.wdx64" "$build/win64/bin/Fleetfinder.wdx64" || fail "64-bit file differs from the build"
file "$x/Fleetfinder.wdx" | grep -q 'PE32 executable (DLL).*Intel 80386' || fail "Fleetfinder.wdx is not a 32-bit DLL"
file "$x/Fleetfinder.wdx64" | grep -q 'PE32+ executable (DLL).*x86-64' || fail "Fleetfinder.wdx64 is not a 64-bit DLL"
inf=$(tr -d '\r' < "$x/pluginst.inf")
grep -q $'\r$' "$x/pluginst.inf" || fail "pluginst.inf must have CR LF line ends"
# (No pipe into head here: under pipefail an early-closing head can fail the echo at random.)
[ "${inf%%$'\n'*}" = "[plugininstall]" ] || fail "pluginst.inf must open with [plugininstall]"
for kv in "type=wfx" "file=Fleetfinder.wdx" "file64=Fleetfinder.wdx64" "defaultdir=Fleetfinder" "version=$version"; do
  echo "$inf" | grep -qx "$kv" || fail "pluginst.inf lacks $kv"
done
grep -q "Fleetfinder $version" "$x/readme.txt" || fail "readme.txt does not name the version"
echo "package_zip: OK ($zip)"
