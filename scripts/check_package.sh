#!/usr/bin/env bash
# Checks the Debian package scripts/package.sh built, as a bench computer would see it: unpacked
# into a fresh folder, what it installs (the four programs, components exporting their entry
# point alone), each program's --version and `fenwald versions` against a simulated
# scanner run from there (the installed fenwald finding its installed components), then the
# desktop entries, metainfo, the package and the manual pages through their validators.
#
#   scripts/check_package.sh [PACKAGE.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
deb=${1:-$(ls build/package/veltrix-tools_*.deb)}
version=$(sed -n 's/^project(veltrix_tools VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

root=$(mktemp -d)
sim=
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root/stage"
usr=$root/stage/usr
echo "== $(basename "$deb") unpacked into a fresh folder"

# Nothing but PATH leads into it: Qt comes from the system, the components from the registry,
# and --version needs no display.
unset LD_LIBRARY_PATH QT_PLUGIN_PATH QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY VELTRIX_PORTS
export PATH=$usr/bin:$PATH
export XDG_CONFIG_HOME=$root/config

echo "== what it installs"
# The release build it comes from has the tests in it (scripts/test.sh): none may be packed.
programs=$(ls "$usr/bin" | paste -sd' ')
[ "$programs" = "fenwald kolvane pictavo veltrix-sim" ] || fail "programs in /usr/bin: $programs"
echo "/usr/bin: $programs"
# A component exports its entry point alone (platform/component.h); anything else it exported
# could bind to the host's or another module's symbol of that name.
modules=("$usr"/lib/*/fenwald/*.so)
[ -f "${modules[0]}" ] || fail "no installed component modules"
for module in "${modules[@]}"; do
  exported=$(nm -D --defined-only "$module") || fail "nm -D $(basename "$module") failed"
  names=$(awk '{ print $NF }' <<< "$exported")
  [ "$names" = veltrixCreateComponent ] && grep -q ' T veltrixCreateComponent$' <<< "$exported" ||
    fail "$(basename "$module") must export the function veltrixCreateComponent alone; nm -D --defined-only:"$'\n'"$exported"
  echo "$(basename "$module"): $names"
done

echo "== --version"
for program in pictavo kolvane fenwald veltrix-sim; do
  [ "$(command -v "$program")" = "$usr/bin/$program" ] || fail "$program is not the installed one"
  out=$(timeout 20 "$program" --version) || fail "$program --version failed or hung"
  [ "$out" = "$program $version" ] || fail "$program --version printed \"$out\""
  echo "$out"
done

echo "== fenwald versions, against a simulated scanner on COM5"
[ ! -e "$usr/bin/components.ini" ] || fail "a registry beside the installed fenwald"
ls "$usr"/lib/*/fenwald/components.ini >/dev/null || fail "no installed component registry"
export VELTRIX_PORTS=$root/ports
: > "$VELTRIX_PORTS"
mkdir "$root/work"   # fenwald reads fenwald.ini from its working folder: none here
timeout 120 veltrix-sim scanner --com 5 --reply 'Z1=Veltrix\sV2.07\r' < /dev/null > "$root/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q '^COM5 ' "$VELTRIX_PORTS" && break; sleep 0.05; done
grep -q '^COM5 ' "$VELTRIX_PORTS" || fail "the simulated scanner did not come up: $(cat "$root/sim.out")"
out=$(cd "$root/work" && timeout 60 fenwald versions --port 5) || fail "fenwald versions failed or hung: $out"
grep -q 'Veltrix V2.07' <<< "$out" || fail "fenwald versions printed: $out"
grep 'Veltrix V2.07' <<< "$out"

echo "== desktop-file-validate"
for entry in "$usr"/share/applications/*.desktop; do
  out=$(timeout 60 desktop-file-validate "$entry" 2>&1) || fail "$(basename "$entry"): $out"
  [ -z "$out" ] || fail "$(basename "$entry"): $out"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  for size in 16 32 48 64 128 256; do
    [ -f "$usr/share/icons/hicolor/${size}x$size/apps/$icon.png" ] || fail "no $size px icon $icon"
  done
  echo "$(basename "$entry") (and its icons)"
done

echo "== appstreamcli validate --no-net"
for info in "$usr"/share/metainfo/*.metainfo.xml; do
  timeout 60 appstreamcli validate --no-net "$info" || fail "$(basename "$info")"
done

echo "== lintian, errors"
# Anything at error level fails; warnings and below are shown by `lintian PACKAGE.deb`.
# (Run as root it says so on standard error; that is no finding.)
timeout 300 lintian --fail-on error --display-level '>=error' "$deb" 2> >(grep -v 'root privileges' >&2) ||
  fail "lintian found errors"

echo "== manual pages: groff -ww, man -l"
for page in "$usr"/share/man/man1/*.1.gz; do
  out=$(zcat "$page" | LC_ALL=C timeout 60 groff -ww -man -z 2>&1) || fail "$(basename "$page"): $out"
  [ -z "$out" ] || fail "$(basename "$page"): $out"
  out=$(LC_ALL=C MANWIDTH=80 MAN_KEEP_FORMATTING= timeout 60 man --warnings=w -l "$page" 2>&1 >/dev/null) ||
    fail "$(basename "$page"): $out"
  [ -z "$out" ] || fail "$(basename "$page"): $out"
  echo "$(basename "$page")"
done
echo "The package is sound."
