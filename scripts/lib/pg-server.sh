# A throw-away PostgreSQL cluster for the tests, to be sourced:
#
#   . scripts/lib/pg-server.sh
#   pg_server_start || ...   # exports QUORVEL_TEST_PG, PGPASSFILE and
#                            # QUORVEL_TEST_PG_RESTART
#   ...                      # the server tests run
#   (stopped and removed by the EXIT trap, or by pg_server_stop)
#
# The cluster lives in a temporary folder, owned by an unprivileged user when
# the script runs as root (postgres refuses to run as root), and listens only
# on a Unix socket in that folder: no TCP port is opened. The tests connect
# as a role of their own with a password that sits in a private password
# file (PGPASSFILE), never on a command line, in the environment or in a log.
#
# QUORVEL_TEST_PG_RESTART names a small script that restarts the cluster
# ("$QUORVEL_TEST_PG_RESTART fast" or "... immediate", the latter a crash of
# the server), for the crash soak. It lives in a folder of its own owned by
# the user who started the server, not in the cluster's folder: the cluster's
# owner must not be able to swap what root runs.

pg_server_bin=${PG_SERVER_BIN:-/usr/lib/postgresql/15/bin}
pg_server_dir=""
pg_server_owner=""
pg_server_ctl=""

# Runs a server binary as the cluster's owner.
_pg_as_owner() {
  if [ -n "$pg_server_owner" ]; then
    setpriv --reuid="$pg_server_owner" --regid="$pg_server_owner" --clear-groups -- "$@"
  else
    "$@"
  fi
}

pg_server_stop() {
  [ -n "$pg_server_dir" ] || return 0
  if [ -f "$pg_server_dir/data/postmaster.pid" ]; then
    _pg_as_owner "$pg_server_bin/pg_ctl" -D "$pg_server_dir/data" -m immediate -w stop \
      >/dev/null 2>&1 || true
  fi
  rm -rf "$pg_server_dir"
  pg_server_dir=""
  [ -z "$pg_server_ctl" ] || rm -rf "$pg_server_ctl"
  pg_server_ctl=""
  unset QUORVEL_TEST_PG PGPASSFILE QUORVEL_TEST_PG_RESTART
}

# Writes the restart script (see the top) and exports its path.
_pg_server_restart_script() {
  pg_server_ctl=$(mktemp -d /tmp/quorvel-pg-ctl.XXXXXX) || return 1
  chmod 755 "$pg_server_ctl"
  local as_owner=""
  [ -z "$pg_server_owner" ] ||
    as_owner="setpriv --reuid=$pg_server_owner --regid=$pg_server_owner --clear-groups --"
  {
    echo '#!/bin/sh'
    echo "# Restarts the throw-away test server: \$0 fast|immediate"
    echo 'case "$1" in fast | immediate) ;; *) echo "usage: $0 fast|immediate" >&2; exit 2 ;; esac'
    echo "exec $as_owner \"$pg_server_bin/pg_ctl\" -D \"$pg_server_dir/data\"" \
      "-l \"$pg_server_dir/server.log\" -m \"\$1\" -w -t 60 restart >/dev/null"
  } >"$pg_server_ctl/restart"
  chmod 755 "$pg_server_ctl/restart"
  export QUORVEL_TEST_PG_RESTART="$pg_server_ctl/restart"
}

# Starts the cluster; prints one line and returns non-zero when it cannot.
pg_server_start() {
  if [ ! -x "$pg_server_bin/initdb" ]; then
    echo "pg-server: $pg_server_bin/initdb missing (package postgresql)" >&2
    return 1
  fi
  pg_server_dir=$(mktemp -d /tmp/quorvel-pg.XXXXXX) || return 1
  # Chains onto an EXIT trap set before (another test server, for one).
  local previous
  previous=$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")
  # shellcheck disable=SC2064
  trap "pg_server_stop${previous:+; $previous}" EXIT
  chmod 755 "$pg_server_dir"
  if [ "$(id -u)" -eq 0 ]; then
    pg_server_owner=$(id -u nobody) || return 1
  fi
  local secret="$pg_server_dir/secret"
  mkdir -m 700 "$secret"
  # Random passwords: the superuser's (only initdb sees it) and the tests' role.
  head -c 24 /dev/urandom | base64 | tr -d '/+=\n' >"$secret/superuser"
  local password
  password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=\n')
  mkdir -m 700 "$pg_server_dir/data"
  if [ -n "$pg_server_owner" ]; then
    chown "$pg_server_owner:$pg_server_owner" "$pg_server_dir" "$pg_server_dir/data" "$secret/superuser"
    chown "$pg_server_owner" "$secret"
  fi
  local log="$pg_server_dir/server.log"
  touch "$log"
  [ -z "$pg_server_owner" ] || chown "$pg_server_owner" "$log"
  if ! _pg_as_owner "$pg_server_bin/initdb" -D "$pg_server_dir/data" -U postgres \
      --pwfile="$secret/superuser" --auth=scram-sha-256 -E UTF8 --locale=C.UTF-8 \
      >>"$log" 2>&1; then
    echo "pg-server: initdb failed; its last lines:" >&2
    tail -n 20 "$log" >&2
    return 1
  fi
  cat >>"$pg_server_dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$pg_server_dir'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 60
shared_buffers = 32MB
EOF
  if ! _pg_as_owner "$pg_server_bin/pg_ctl" -D "$pg_server_dir/data" -l "$log" -w -t 60 start \
      >/dev/null 2>&1; then
    echo "pg-server: the server did not start; its log's last lines:" >&2
    tail -n 20 "$log" >&2
    return 1
  fi
  # The tests' role and database, created by the superuser over the socket.
  local superpass
  superpass=$(cat "$secret/superuser")
  printf '%s:5432:*:postgres:%s\n%s:5432:*:quorvel_test:%s\n' \
    "$pg_server_dir" "$superpass" "$pg_server_dir" "$password" >"$secret/pgpass"
  chmod 600 "$secret/pgpass"
  export PGPASSFILE="$secret/pgpass"
  local psql=("$pg_server_bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$pg_server_dir" -U postgres -d postgres)
  # The password goes in on standard input, so no process list shows it.
  local out
  if ! out=$("${psql[@]}" 2>&1 <<EOF
\set pw '$password'
CREATE ROLE quorvel_test LOGIN CREATEDB PASSWORD :'pw';
CREATE DATABASE quorvel_test OWNER quorvel_test;
EOF
  ); then
    # psql may quote the failing line: the password is masked first.
    echo "pg-server: creating the tests' role failed: ${out//$password/***}" >&2
    return 1
  fi
  export QUORVEL_TEST_PG="host=$pg_server_dir port=5432 dbname=quorvel_test user=quorvel_test"
  _pg_server_restart_script || return 1
  echo "pg-server: PostgreSQL running on the socket in $pg_server_dir"
}
