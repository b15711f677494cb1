#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests, in a temporary folder, on a free port of
# 127.0.0.1, run by an unprivileged user.
#   cluster.sh start        prints the folder; <folder>/connect holds the value for QV_PG_CONNECT
#   cluster.sh stop FOLDER  stops the cluster and removes the folder
#   cluster.sh restart FOLDER  stops the server (its sessions end, their transactions roll
#                           back) and starts it again on the same port
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bindir" ]; then
  echo "cluster.sh: PostgreSQL is not installed (apt-get install postgresql)" >&2
  exit 1
fi

# As root the server runs as the user postgres (made by the Debian package).
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    su postgres -s /bin/sh -c "$(printf '%q ' "$@")"
  else
    "$@"
  fi
}

free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 200); do
    if ! (exec 3<>/dev/tcp/127.0.0.1/"$p") 2>/dev/null; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

case "${1:-}" in
  start)
    dir=$(mktemp -d /tmp/qv-pg.XXXXXX)
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U qv --auth=trust --encoding=UTF8 \
      --lc-collate=C --lc-ctype=C.UTF-8 >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    for _ in 1 2 3 4 5; do
      port=$(free_port)
      if as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
           -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" \
           >/dev/null; then
        break
      fi
      port=
    done
    [ -n "$port" ] || { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$bindir/createdb" -h 127.0.0.1 -p "$port" -U qv qvtest
    echo "$port" >"$dir/port"
    echo "Host=127.0.0.1;Port=$port;Database=qvtest;User=qv" >"$dir/connect"
    echo "$dir"
    ;;
  stop)
    dir=${2:?cluster.sh stop FOLDER}
    [ -d "$dir/data" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  restart)
    # The server goes away and comes back on the same port: the tests of lost connections.
    dir=${2:?cluster.sh restart FOLDER}
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w restart -l "$dir/server.log" \
      -o "-p $(cat "$dir/port") -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" >/dev/null
    ;;
  *)
    sed -n '2,7p' "$0"
    exit 2
    ;;
esac
