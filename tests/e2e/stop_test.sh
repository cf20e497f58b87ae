#!/usr/bin/env bash
# Every way of ending Quorvane while it samples, in every wait method: the
# process ends promptly with its documented status and leaves the terminal as
# it found it. The status also proves the sampling thread was joined: exiting
# with it still running would abort instead.
source "$(dirname "$0")/lib.sh"
bin=$1

# After the program, a line typed at the prompt reaches the shell intact, with
# nothing left over from the program in front of it.
assert_prompt_usable() {
  local line="prompt-check-$RANDOM"
  send -l "$line"
  send Enter
  retry 5 "the shell did not read a typed line" test -f "$E2E_DIR/typed"
  [ "$(cat "$E2E_DIR/typed")" = "$line" ] || fail "typed '$line', the shell read '$(cat -v "$E2E_DIR/typed")'"
}

# Only the interface thread (the main one) takes the stop signals — hang-up,
# interrupt, quit, termination: bits 0, 1, 2 and 14 of a signal mask — so
# they never cut a timed wait short, also on a sampling thread started anew.
assert_only_main_takes_stop_signals() {
  local pid task blocked expected stop_signals=$((0x4007))
  pid=$(program_pid)
  [ "$(ls /proc/"$pid"/task | wc -l)" -ge 4 ] || fail "expected the sampling thread and the screen's two threads"
  for task in /proc/"$pid"/task/*; do
    blocked=$((0x$(awk '/^SigBlk:/ {print $2}' "$task/status") & stop_signals))
    [ "${task##*/}" = "$pid" ] && expected=0 || expected=$stop_signals
    [ "$blocked" = "$expected" ] || fail "thread ${task##*/} blocks $blocked of the stop signals"
  done
}
e2e_start 100 40 "$bin"
wait_for "Status: 🟢 Running"
assert_only_main_takes_stop_signals
# About 60 frames a second are drawn.
frames=$(count_frames 1)
[ "$frames" -ge 30 ] && [ "$frames" -le 70 ] || fail "$frames frames in one second"
send s
wait_for "Status: 🔴 Stopped"
send s
wait_for "Status: 🟢 Running"
assert_only_main_takes_stop_signals
quit_with q 0
echo "ok: $frames frames/s; only the interface thread takes stop signals"

# stop_while_sampling MODE_INDEX HOW STATUS
modes=(Sleep BusyWait HighPrecisionSleep)
stop_while_sampling() {
  local mode=${modes[$1]} i pid
  e2e_start 100 40 "$bin"
  wait_for "Status: 🟢 Running"
  for ((i = 0; i < $1; i++)); do send m; done
  wait_for "Mode: $mode "
  pid=$(program_pid)
  sleep 0.3
  quit_with "$2" "$3"
  ! kill -0 "$pid" 2>/dev/null || fail "$mode, $2: the process is still there"
  assert_prompt_usable
  echo "ok: $mode, $2: status $3, terminal restored"
}
for index in "${!modes[@]}"; do
  stop_while_sampling "$index" q 0
  stop_while_sampling "$index" C-c 130
  stop_while_sampling "$index" -TERM 143
done
stop_while_sampling 0 'C-\' 131

# Closing the terminal under it: the program ends at once (it may linger
# unreaped as a zombie, its shell having died too).
e2e_start 100 40 "$bin"
wait_for "Status: 🟢 Running"
pid=$(program_pid)
tmx kill-session -t "$E2E_SESSION"
gone() { ! kill -0 "$pid" 2>/dev/null || [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ]; }
retry 5 "still running after its terminal was closed" gone
echo "ok: closing the terminal ends it"

# Ctrl+Z in a shell with job control: stopped, the program leaves the
# terminal as it found it; after fg it draws again, and since resuming
# installs the screen anew, Ctrl+C must still end it with its status.
e2e_start 100 40 bash --norc --noprofile -i
send "PS1='$ '; stty -g >$E2E_DIR/before; $bin" Enter
wait_for "Status: 🟢 Running"
send C-z
wait_for "Stopped"
send "stty -g >$E2E_DIR/stopped; fg" Enter
wait_for "Status: 🟢 Running"
sleep 0.3
send C-c
wait_match '^[$]$'
send "echo \"status \$?\"; stty -g >$E2E_DIR/after" Enter
wait_match "^status [0-9]+"
status=$(screen_text | grep -oE "^status [0-9]+" | tail -n1)
[ "$status" = "status 130" ] || fail "Ctrl+C after Ctrl+Z and fg: $status"
cmp -s "$E2E_DIR/before" "$E2E_DIR/stopped" || fail "terminal settings not restored while stopped"
cmp -s "$E2E_DIR/before" "$E2E_DIR/after" || fail "terminal settings not restored after Ctrl+C"
echo "ok: Ctrl+Z, fg, Ctrl+C: terminal restored while stopped, status 130"

# An interrupt that was ignored when the program started (as for a background
# job) stays ignored.
e2e_start 100 40 bash -c 'trap "" INT; exec "$0"' "$bin"
wait_for "╭"
send C-c
sleep 0.5
[ ! -f "$E2E_DIR/status" ] || fail "an ignored interrupt ended the program"
quit_with q 0
echo "ok: an ignored interrupt stays ignored"
