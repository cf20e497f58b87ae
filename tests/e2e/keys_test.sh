#!/usr/bin/env bash
# Every control key, pressed in a real terminal, shows its effect in the next
# frames; q then ends the program with status 0 and the terminal restored.
# Emoji widths differ between terminals, so texts are matched, not columns.
source "$(dirname "$0")/lib.sh"
bin=$1

# number LABEL: the number shown after "LABEL: " on the screen.
number() { screen_text | grep -oE -- "$1: [0-9]+" | head -1 | grep -oE '[0-9]+$'; }

samples() { number Samples; }

# wait_samples_at_least N: until the buffer holds N samples or more.
has_samples() { [ "$(samples)" -ge "$1" ]; }
wait_samples_at_least() { retry 10 "fewer than $1 samples" has_samples "$1"; }

e2e_start 100 40 "$bin"

# The frame as it starts: sampling with the first method, no filter.
wait_for "Mode: Sleep "
wait_for "Status: 🟢 Running"
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

quit_with q 0
echo "ok: every key shows its effect; q exits 0, terminal restored"
