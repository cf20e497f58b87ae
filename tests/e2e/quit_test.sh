#!/usr/bin/env bash
# Quorvane draws its bordered frame, keeps redrawing it, and q ends it with
# status 0 and the terminal restored.
source "$(dirname "$0")/lib.sh"
bin=$1

e2e_start 100 40 "$bin"
wait_for "╭"
# About 60 frames a second are drawn.
frames=$(count_frames 1)
[ "$frames" -ge 30 ] && [ "$frames" -le 70 ] || fail "$frames frames in one second"
top=$(screen_text | grep -m1 "╭")
[ "${#top}" -eq 100 ] || fail "frame is ${#top} wide, not the terminal's 100"

send q
status=$(wait_exit 5)
[ "$status" = 0 ] || fail "exit status $status"
assert_terminal_restored
echo "ok: $frames frames/s, q exits 0, terminal restored"
