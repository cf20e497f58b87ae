#!/usr/bin/env bash
# Quorvane runs in terminals from 20×5 to 300×100 and follows the terminal
# when it is resized while running: the frame always spans the terminal's
# width, fits its height (both borders on screen, nothing scrolled into the
# history frame after frame), nothing crashes, and q still ends it cleanly.
source "$(dirname "$0")/lib.sh"
bin=$1

history_size() { tmx display-message -p -t "$E2E_SESSION" '#{history_size}'; }

# frame_is WIDTH: the newest frame (the last bottom border on the screen) is
# WIDTH columns wide, and its top border is on screen too.
frame_is() {
  local screen bottom top
  screen=$(screen_text)
  bottom=$(grep "╰" <<<"$screen" | tail -n1 || true)
  top=$(awk '/╭/ {top = $0} /╰/ {print top}' <<<"$screen" | tail -n1)
  [ "${#bottom}" -eq "$1" ] && [ "${#top}" -eq "$1" ]
}

# expect_frame WIDTH: the frame becomes WIDTH wide, and redrawing it scrolls
# nothing.
expect_frame() {
  retry 5 "the frame is not the terminal's $1 wide with both borders on screen" frame_is "$1"
  # A frame drawn just as the terminal changed may have the old height and the
  # next one scroll once; after that the scrollback must stay as it is.
  local history deadline=$((SECONDS + 5))
  history=$(history_size)
  while sleep 0.5; [ "$(history_size)" != "$history" ]; do
    [ $SECONDS -lt $deadline ] || fail "each frame scrolls the terminal ($history → $(history_size) lines)"
    history=$(history_size)
  done
}

for size in 20x5 80x24 300x100; do
  e2e_start "${size%x*}" "${size#*x}" "$bin"
  expect_frame "${size%x*}"
  quit_with q 0
  echo "ok: started at $size"
done

e2e_start 100 40 "$bin"
expect_frame 100
for size in 20x5 300x100 80x30 21x6 120x40; do
  tmx resize-window -t "$E2E_SESSION" -x "${size%x*}" -y "${size#*x}"
  expect_frame "${size%x*}"
done
# A burst of resizes, faster than frames are drawn.
for width in 30 200 45 180 60 160 75 140 90 110; do
  tmx resize-window -t "$E2E_SESSION" -x "$width" -y 35
done
expect_frame 110
quit_with q 0
echo "ok: followed every resize while running"
