#!/usr/bin/env bash
# screenshot-app.sh <program> <png> [seconds]
# Starts the program on the current display, waits for it to settle, saves a
# screenshot of the whole display to <png> and ends the program.
set -euo pipefail
program=$1
png=$2
settle=${3:-8}

"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
sleep "$settle"
kill -0 "$pid" || { echo "the program ended before the screenshot" >&2; exit 1; }
/usr/bin/python3 - "$png" <<'PY'
import os, sys
from PIL import ImageGrab
ImageGrab.grab(xdisplay=os.environ["DISPLAY"]).save(sys.argv[1])
PY
