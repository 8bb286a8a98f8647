#!/usr/bin/env bash
# A throwaway PostgreSQL cluster in FOLDER, on a Unix socket there and nowhere else.
#   pg_cluster.sh installed | start FOLDER | stop FOLDER
# The server refuses to run as root; under root it runs as nobody, who is given the folder.
# What the tests check is the program's side, so the server does not sync to disk.
set -eu
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || exit 3
[ "$1" = installed ] && exit 0
folder=$2
as=()
if [ "$(id -u)" = 0 ]; then chown nobody "$folder"; as=(runuser -u nobody --); fi
case $1 in
  start)
    "${as[@]}" "$bin/initdb" -D "$folder/data" -U writer --auth=trust -E UTF8 --locale=C \
      --no-sync --no-instructions >"$folder/setup.log" 2>&1 || { cat "$folder/setup.log"; exit 1; }
    "${as[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -o \
      "-c listen_addresses='' -c unix_socket_directories='$folder' -c fsync=off -c max_connections=20" \
      start >/dev/null || { cat "$folder/server.log"; exit 1; } ;;
  stop)
    "${as[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null ;;
esac
