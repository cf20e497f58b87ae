#!/usr/bin/env bash
# Checks packages as a user gets them:
#   scripts/check-package.sh build/quorvane_1.0.1_amd64.deb
#     lintian finds no error, the package holds the expected files and
#     dependencies, and unpacked its program runs --version and its manual
#     page renders without warnings;
#   scripts/check-package.sh build-windows/quorvane-1.0.1-win64.zip
#     the zip holds one folder with the exe, the README, the JSON reference,
#     the licence and the libraries' notices, and the exe unzipped runs --version under wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

log() { printf '[check] %s\n' "$*" >&2; }
fail() {
  log "FAIL: $*"
  exit 1
}
same() { # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: expected
$2
got
$3"
}

check_deb() {
  local deb=$1 version unpacked=$tmp/deb warnings
  "$root/scripts/deps.sh" linux lintian groff-base >/dev/null
  version=$(dpkg-deb -f "$deb" Version)
  log "lintian $deb"
  lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
  dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no shared-library dependencies in $deb"
  dpkg-deb -x "$deb" "$unpacked"
  same "files in $deb" "/usr/bin/quorvane
/usr/share/doc/quorvane/LICENSE
/usr/share/doc/quorvane/README.md
/usr/share/doc/quorvane/THIRD-PARTY-NOTICES
/usr/share/doc/quorvane/changelog.gz
/usr/share/doc/quorvane/copyright
/usr/share/doc/quorvane/doc/page.png
/usr/share/doc/quorvane/report-json.md
/usr/share/man/man1/quorvane.1.gz" "$(cd "$unpacked" && find . -type f | sed 's/^\.//' | LC_ALL=C sort)"
  same "--version of the unpacked program" "Quorvane CLI Version $version" "$("$unpacked/usr/bin/quorvane" --version)"
  warnings=$(zcat "$unpacked/usr/share/man/man1/quorvane.1.gz" | groff -k -man -ww -z 2>&1)
  same "warnings rendering the manual page" "" "$warnings"
  log "ok: $deb (version $version)"
}

check_zip() {
  local zip folder wine
  zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  folder=$(basename "$zip" .zip)
  log "listing of $zip:"
  cmake -E tar tvf "$zip" >&2
  same "files in $zip" "$folder/LICENSE.txt
$folder/README.md
$folder/THIRD-PARTY-NOTICES.txt
$folder/doc/page.png
$folder/quorvane.exe
$folder/report-json.md" "$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)"
  (cd "$tmp" && cmake -E tar xf "$zip")
  # The 64-bit loader directly: the wrapper in /usr/bin prefers a 32-bit wine.
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  local version=${folder#quorvane-}
  same "--version of the unzipped exe under wine" "Quorvane CLI Version ${version%-win64}" \
    "$("$root/scripts/wine-test.sh" "$wine" "$tmp/$folder/quorvane.exe" --version | tr -d '\r')"
  log "ok: $zip"
}

[ $# -gt 0 ] || fail "usage: $0 PACKAGE.deb|PACKAGE.zip..."
for package in "$@"; do
  case $package in
    *.deb) check_deb "$package" ;;
    *.zip) check_zip "$package" ;;
    *) fail "not a .deb or .zip: $package" ;;
  esac
done
