#!/bin/sh
# Usage: run-in-fresh-home.sh HOME TEST [ARGUMENTS...]
# Starts a test in an empty home folder whose settings point the program's
# online services at a closed loopback port, so that no test reaches the
# real service; tests of the services start their own server.
set -e
home=$1
shift
rm -rf "$home"
mkdir -p "$home/config/Tessavond" "$home/data"
printf '[General]\nblib.service.baseUrl=http://127.0.0.1:9\n' > "$home/config/Tessavond/Lockharbour.conf"
# Tests never reach the desktop of whoever runs them: those that need an X
# display start one of their own.
unset DISPLAY WAYLAND_DISPLAY
exec "$@"
