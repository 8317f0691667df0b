#!/usr/bin/env bash
# run.sh ATSPI_DIR DRIVER [ARGS...]: runs a driver that works the programs through the
# accessibility bus, inside the shared runner (a private X display, session and accessibility
# buses and a window manager, all stopped afterwards). Skipped when the runner is missing.
set -u
atspi=$1
shift
if [ ! -x "$atspi/run-under-xvfb.sh" ]; then
  echo "SKIPPED: no accessibility runner at $atspi (the shared tools belong beside the clone)"
  exit 77
fi
export AMBRY_ATSPI_DIR=$atspi
# The X keyboard library strndup()s keymap names that are not NUL-terminated, within bounds;
# strict string checks would stop a sanitized program at start-up on a real X display.
[ -z "${ASAN_OPTIONS:-}" ] || export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
# Debian's interpreter: the bus bindings (python3-pyatspi) are Debian packages.
exec "$atspi/run-under-xvfb.sh" -- /usr/bin/python3 "$@"
