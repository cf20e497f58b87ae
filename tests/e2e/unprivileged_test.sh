#!/usr/bin/env bash
# Run by an unprivileged user, Quorvane is refused the raised priorities it
# asks for and works all the same: it draws, keeps redrawing, and q ends it
# cleanly.
source "$(dirname "$0")/lib.sh"
bin=$1
[ "$(id -u)" = 0 ] || { echo "skipped: changing user needs root"; exit 0; }

e2e_start 100 40 $(as_nobody "$bin")
wait_for "╭"
pid=$(program_pid)
[ "$(stat -c %U "/proc/$pid")" = nobody ] || fail "not running as nobody"
sleep 0.5
# Without the limits that would allow them, the requests were refused: every
# thread keeps nice 0 and the normal scheduling policy.
if [ "$(ulimit -e)" = 0 ] && [ "$(ulimit -r)" = 0 ]; then
  for task in /proc/"$pid"/task/*; do
    read -r nice policy < <(awk '{print $19, $41}' "$task/stat")
    [ "$nice" = 0 ] && [ "$policy" = 0 ] || fail "thread ${task##*/} has nice $nice, policy $policy"
  done
fi
frames=$(count_frames 1)
[ "$frames" -ge 20 ] || fail "only $frames frames in one second"
quit_with q 0
echo "ok: as nobody: $frames frames/s, q exits 0, terminal restored"
