#!/usr/bin/env bash
# With every core kept busy by other processes, Quorvane keeps redrawing and q
# still ends it promptly, with and without the raised priorities.
source "$(dirname "$0")/lib.sh"
bin=$1
command -v stress-ng >/dev/null || fail "stress-ng is not installed (scripts/deps.sh installs it)"

stress-ng --cpu "$(nproc)" --timeout 60s --quiet &
stress=$!
trap 'kill $stress 2>/dev/null; wait; e2e_cleanup' EXIT
sleep 1

# under_load LABEL COMMAND...
under_load() {
  local label=$1 frames started waited
  shift
  e2e_start 100 40 "$@"
  wait_for "╭"
  sleep 1
  frames=$(count_frames 2)
  [ "$frames" -ge 30 ] || fail "$label: only $frames frames in two seconds under load"
  started=$(date +%s%N)
  quit_with q 0
  waited=$((($(date +%s%N) - started) / 1000000))
  [ "$waited" -le 2000 ] || fail "$label: q took $waited ms to end it"
  echo "ok: $label under load on $(nproc) cores: $((frames / 2)) frames/s, q ended it in $waited ms"
}

if [ "$(id -u)" = 0 ]; then
  under_load "raised priorities" "$bin"
  under_load "normal priorities" $(as_nobody "$bin")
else
  under_load "normal priorities" "$bin"
fi
