#!/usr/bin/env bash
# Runs the command as it is for a normal user; as root, as nobody (setpriv, no groups), so file
# modes and permission failures behave as they do on a user's desktop.
set -eu
if [ "$(id -u)" -ne 0 ]; then
  exec "$@"
fi
export HOME=/tmp
exec setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all -- "$@"
