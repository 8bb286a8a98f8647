#!/usr/bin/env bash
# Runs a command in a home of its own, made afresh and removed afterwards, so a test script
# never touches the settings, folders or virtual writer socket of whoever runs it. Each test
# script starts with
#   [ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/writer-test-home-XXXXXX") || exit 1
export WRITER_TEST_HOME=$home HOME=$home
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
export XDG_STATE_HOME=$home/.local/state XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$@"
status=$?
rm -rf "$home"
exit $status
