#!/usr/bin/env bash
# Every control key, pressed in a real terminal, shows its effect in the next
# frames; q then ends the program with status 0 and the terminal restored.
# Emoji widths differ between terminals, so texts are matched, not columns.
source "$(dirname "$0")/lib.sh"
bin=$1
homepage=$2

# number LABEL: the number shown after "LABEL: " on the screen.
number() { screen_text | grep -oE -- "$1: [0-9]+" | head -1 | grep -oE '[0-9]+$'; }

samples() { number Samples; }

# wait_samples_at_least N: until the buffer holds N samples or more.
wait_samples_at_least() {
  local deadline=$((SECONDS + 10))
  until [ "$(samples)" -ge "$1" ]; do
    [ $SECONDS -lt $deadline ] || fail "fewer than $1 samples"
    sleep 0.05
  done
}

e2e_start 100 40 "$bin"

# The full frame: header, statistics, histogram, legend.
wait_for "Built with FTXUI  "
wait_for "⏲️  Quorvane V1.0.1"
wait_for "$homepage  "
wait_for "🎮 Controls: [M]ode  [F]ilter  [C]lear  [S]tart/Stop  [↑↓]Timer  [Q]uit"
wait_for "Mode: Sleep "
wait_for "Status: 🟢 Running"
wait_match "Range: [0-9]+-[0-9]+ μs"
wait_for "📊 Histogram - Filter [All]"

# Statistics follow the sampling thread.
first=$(samples)
wait_samples_at_least $((first + 20))
wait_match "Min: [1-9][0-9]*μs"

# m: the next method, with the buffer emptied each time.
for method in BusyWait HighPrecisionSleep Sleep; do
  wait_samples_at_least 100
  send m
  wait_for "Mode: $method "
  wait_match "Samples: [0-9]{1,2} "
done

# c: the buffer is emptied and fills again.
wait_samples_at_least 100
send C
wait_match "Samples: [0-9]{1,2} "
wait_samples_at_least 20

# s: sampling stops, the samples stay; s again resumes.
send s
wait_for "Status: 🔴 Stopped"
sleep 0.1
stopped=$(samples)
sleep 0.5
[ "$(samples)" -eq "$stopped" ] || fail "samples grew while stopped"
[ "$stopped" -ge 20 ] || fail "stopping lost the samples"
send S
wait_for "Status: 🟢 Running"
wait_samples_at_least $((stopped + 10))

# f: All → IQR → 2σ → All.
for filter in IQR 2σ All; do
  send f
  wait_for "📊 Histogram - Filter [$filter]"
done

# Arrows: ±1 μs and, with Ctrl, ±100 μs on the current timer interval.
start=$(number Current)
[ -n "$start" ] && [ "$start" -gt 1 ] || fail "no current timer interval"
send Up
wait_for "Current: $((start + 1)) μs"
send Down
wait_for "Current: $start μs"
send C-Up
wait_for "Current: $((start + 100)) μs"
send C-Down
wait_for "Current: $start μs"

send q
status=$(wait_exit 5)
[ "$status" = 0 ] || fail "exit status $status"
assert_terminal_restored
echo "ok: every key shows its effect; q exits 0, terminal restored"
