#!/bin/sh
# Runs a test program inside a private D-Bus session with its own gnome-keyring-daemon, its
# keyring files in a scratch folder under /tmp, unlocked with a throwaway password.
# Exit 77 (skipped) when the session bus or the daemon is not installed.
command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null \
  && command -v secret-tool >/dev/null || { echo "dbus-run-session, gnome-keyring-daemon or secret-tool missing"; exit 77; }
scratch=$(mktemp -d /tmp/tamsel-keyring-XXXXXX) || exit 1
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
dbus-run-session -- sh -c '
  printf %s throwaway-pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
  exec "$@"' sh "$@"
