#!/usr/bin/env bash
# Every way of ending Quorvane while it samples, in every wait method: the
# process ends promptly with its documented status and leaves the terminal as
# it found it. The status also proves the sampling thread was joined: exiting
# with it still running would abort instead.
source "$(dirname "$0")/lib.sh"
bin=$1

# stop_while_sampling MODE_INDEX HOW EXPECTED_STATUS
stop_while_sampling() {
  local index=$1 how=$2 expected=$3 mode=${E2E_MODES[$1]} pid status
  e2e_start 100 40 "$bin"
  wait_for "╭"
  select_mode "$index" "$mode"
  wait_for "Status: 🟢 Running"
  pid=$(program_pid)
  sleep 0.3
  case $how in
    q) send q ;;
    ctrl-c) send C-c ;;
    ctrl-backslash) send 'C-\' ;;
    *) kill "-$how" "$pid" ;;
  esac
  status=$(wait_exit 5)
  [ "$status" = "$expected" ] || fail "$mode, $how: exit status $status, not $expected"
  ! kill -0 "$pid" 2>/dev/null || fail "$mode, $how: the process is still there"
  assert_terminal_restored
  assert_prompt_usable
  echo "ok: $mode, $how: status $status, terminal restored"
}

# Only the interface thread (the main one) takes the stop signals — hang-up,
# interrupt, quit, termination: bits 0, 1, 2 and 14 of a signal mask — so
# they never cut a timed wait short, also on a sampling thread started anew.
stop_signals=$((0x4007))
assert_only_main_takes_stop_signals() {
  local pid=$1 task blocked
  for task in /proc/"$pid"/task/*; do
    blocked=$((0x$(awk '/^SigBlk:/ {print $2}' "$task/status") & stop_signals))
    if [ "${task##*/}" = "$pid" ]; then
      [ "$blocked" = 0 ] || fail "the main thread blocks stop signals"
    else
      [ "$blocked" = "$stop_signals" ] || fail "thread ${task##*/} takes stop signals"
    fi
  done
}
e2e_start 100 40 "$bin"
wait_for "Status: 🟢 Running"
pid=$(program_pid)
assert_only_main_takes_stop_signals "$pid"
send s
wait_for "Status: 🔴 Stopped"
send s
wait_for "Status: 🟢 Running"
assert_only_main_takes_stop_signals "$pid"
[ "$(ls /proc/"$pid"/task | wc -l)" -ge 4 ] || fail "expected the sampling thread and the screen's two threads"
send q
wait_exit 5 >/dev/null
echo "ok: only the interface thread takes stop signals"

for index in "${!E2E_MODES[@]}"; do
  stop_while_sampling "$index" q 0
  stop_while_sampling "$index" ctrl-c 130
  stop_while_sampling "$index" TERM 143
done
stop_while_sampling 0 HUP 129
stop_while_sampling 0 ctrl-backslash 131

# Closing the terminal under it: the program ends at once (it may linger
# unreaped as a zombie, its shell having died too).
e2e_start 100 40 "$bin"
wait_for "Status: 🟢 Running"
pid=$(program_pid)
tmx kill-session -t "$E2E_SESSION"
deadline=$((SECONDS + 5))
while kill -0 "$pid" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ]; do
  [ $SECONDS -lt $deadline ] || fail "still running after its terminal was closed"
  sleep 0.05
done
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
send q
status=$(wait_exit 5)
[ "$status" = 0 ] || fail "exit status $status after an ignored interrupt"
echo "ok: an ignored interrupt stays ignored"
