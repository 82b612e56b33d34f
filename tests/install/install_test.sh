#!/usr/bin/env bash
# The installed tree and the Debian package, as a user meets them.
#   install_test.sh tree    <build-dir>   cmake --install into a staging
#                                         folder (DESTDIR), then the installed
#                                         program run from there
#   install_test.sh package <build-dir>   cpack's .deb: its files and control
# Exit status 77 (a skip) when a tool that the check needs is missing.
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
work=$(mktemp -d "$build/install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
need_files() {  # <root> <file>...
  local root=$1; shift
  for f in "$@"; do [ -f "$root/$f" ] || fail "$f is not installed under $root"; done
}
files=(bin/vorquel share/man/man1/vorquel.1 share/vorquel/aadl-schema/core share/vorquel/aadl-schema/property
       share/doc/vorquel/examples/typical.aaxl)

case $what in
tree)
  DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/vq >/dev/null
  root="$work/stage/opt/vq"
  need_files "$root" "${files[@]}"
  [ -x "$root/bin/vorquel" ] || fail "bin/vorquel is not executable"
  [ "$(find "$work/stage" -mindepth 1 -maxdepth 1)" = "$work/stage/opt" ] || fail "files outside the prefix"

  mkdir "$work/run" && cd "$work/run"
  # Without the variable: the documented stop.
  status=0; out=$(env -u AADL_SCHEMA_DIR "$root/bin/vorquel" "$root/share/doc/vorquel/examples/typical.aaxl") || status=$?
  [ "$status" = 2 ] || fail "status $status without AADL_SCHEMA_DIR"
  [ "$out" = $'Environment variable AADL_SCHEMA_DIR is undefined.\n*** Aborting...' ] || fail "message: $out"
  # With it naming the installed schema folder: the six files.
  AADL_SCHEMA_DIR="$root/share/vorquel/aadl-schema" "$root/bin/vorquel" \
    "$root/share/doc/vorquel/examples/typical.aaxl" >/dev/null || fail "the installed program failed on the example"
  need_files . out.lus schedule_out.lus out_nodes.lus fillme_out_nodes.lus fillme_out_types.lus fillme_out_const.lus
  # The manual page renders without a warning.
  if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -Tutf8 "$root/share/man/man1/vorquel.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "groff: $warnings"
  fi
  ;;
package)
  command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || { echo "cpack or dpkg-deb missing"; exit 77; }
  (cd "$build" && cpack -G DEB -B "$work" >/dev/null)
  deb=$(ls "$work"/vorquel_*.deb)
  dpkg-deb -f "$deb" Depends | grep -q 'libpugixml1v5' || fail "no dependency on libpugixml1v5"
  dpkg-deb -x "$deb" "$work/root"
  need_files "$work/root/usr" "${files[@]}"
  AADL_SCHEMA_DIR="$work/root/usr/share/vorquel/aadl-schema" "$work/root/usr/bin/vorquel" --version | grep -q . ||
    fail "the packaged program does not run"
  ;;
*) echo "usage: install_test.sh tree|package <build-dir>" >&2; exit 2 ;;
esac
echo "ok: $what"
