#!/usr/bin/env bash
# With every core kept busy by other processes, Quorvane keeps redrawing and q
# still ends it promptly, with and without the raised priorities.
source "$(dirname "$0")/lib.sh"
bin=$1
command -v stress-ng >/dev/null || fail "stress-ng is not installed (scripts/deps.sh installs it)"
cores=$(nproc)

reachable=$(mktemp -d)
chmod 755 "$reachable"
install -m 755 "$bin" "$reachable/quorvane"
stress_pid=""
finish() {
  [ -z "$stress_pid" ] || kill "$stress_pid" 2>/dev/null || true
  [ -z "$stress_pid" ] || wait "$stress_pid" 2>/dev/null || true
  rm -rf "$reachable"
  e2e_cleanup
}
trap finish EXIT

stress-ng --cpu "$cores" --timeout 60s --quiet &
stress_pid=$!
sleep 1

# under_load LABEL COMMAND...
under_load() {
  local label=$1 frames started status waited
  shift
  e2e_start 100 40 "$@"
  wait_for "╭"
  sleep 1
  frames=$(count_frames 2)
  [ "$frames" -ge 30 ] || fail "$label: only $frames frames in two seconds under load"
  started=$(date +%s%N)
  send q
  status=$(wait_exit 5)
  waited=$((($(date +%s%N) - started) / 1000000))
  [ "$status" = 0 ] || fail "$label: exit status $status"
  [ "$waited" -le 2000 ] || fail "$label: q took $waited ms to end it"
  assert_terminal_restored
  echo "ok: $label under load on $cores cores: $((frames / 2)) frames/s, q ended it in $waited ms"
}

if [ "$(id -u)" = 0 ]; then
  under_load "raised priorities" "$reachable/quorvane"
  under_load "normal priorities" setpriv --reuid=nobody --regid=nogroup --clear-groups "$reachable/quorvane"
else
  under_load "normal priorities" "$reachable/quorvane"
fi
