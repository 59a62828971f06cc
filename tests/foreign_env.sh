#!/bin/sh
# Runs a command (a test run) in an environment unlike the developer's: a fresh private TMPDIR
# (0700, as many users and sandboxes have), HOME a folder nobody may write, no XDG_CONFIG_HOME,
# and a language other than English. The tests make their own folders and set what their
# programs read, so they pass here as anywhere; one that leans on the caller's environment fails.
#   tests/foreign_env.sh ctest --test-dir build/release -j4 --output-on-failure
set -eu

tmp=$(mktemp -d "${TMPDIR:-/tmp}/veltrix-foreign-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/tmp"
mkdir -m 555 "$tmp/home"  # root still writes there; /proc is refused to everyone
home="$tmp/home"
[ "$(id -u)" -eq 0 ] && home=/proc

status=0
env -u XDG_CONFIG_HOME -u LC_ALL TMPDIR="$tmp/tmp" HOME="$home" \
    LANG=de_DE.UTF-8 LC_MESSAGES=de_DE.UTF-8 "$@" || status=$?
exit "$status"
