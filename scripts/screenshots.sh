#!/usr/bin/env bash
# Pictures of every tab of the main window and of its dialogs (sensor, actuator, controller
# function, conductance, ambient conditions; with the simulated controller also the addressing
# dialog, the raw command window after one answer and the bus scan result), taken under a virtual X server, into
# docs/screenshots/tab-<n>-<name>.png and docs/screenshots/dialog-<name>.png; then the OEM tab
# once per sensor type (tab-0-oem-sensor-0-dpk.png, -1-us.png, -2-dsk3.png), the difference
# list opened from the not-equal picture after two edits (what-differs.png, and the window with
# the tinted fields: what-differs-window.png), the Service tab in English (main-english.png; the
# About box is dialog-info.png), and last the Service tab in operation with the
# live plot (service-betrieb.png, about 40 s later). Installs xvfb, xauth and imagemagick when
# missing and builds kadex-screenshots when needed (build folder: build-gui, or $KADEX_GUI_BUILD).
# Into docs/screenshots, it also renews the user guide's copies in docs/guide/img.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KADEX_GUI_BUILD:-build-gui}
out=${1:-docs/screenshots}

KADEX_WITH_XVFB=1 bash scripts/setup.sh

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja
fi
cmake --build "$build" -j2 --target kadex-screenshots

mkdir -p "$out"
out=$(cd "$out" && pwd)
# Run in an empty folder: a UserLogo.bmp in the working folder would replace the built-in logo.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(
  cd "$work"
  mkdir -m 700 home
  XDG_DATA_HOME="$work/home" XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$root/$build/bin/kadex-screenshots" --simulate --screenshot-dir "$out"
)
# The user guide's pictures (docs/guide/img) are copies of some of these.
if [ "$out" = "$root/docs/screenshots" ]; then
  mkdir -p docs/guide/img
  for f in tab-0-oem tab-1-experte what-differs what-differs-window service-betrieb dialog-leitwert \
           dialog-umgebung dialog-optionen; do
    cp "$out/$f.png" docs/guide/img/
  done
fi
identify "$out"/tab-*.png "$out"/dialog-*.png "$out"/what-differs.png "$out"/what-differs-window.png \
  "$out"/main-english.png "$out"/service-betrieb.png
