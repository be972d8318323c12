# Sourced by scripts/test: a local SMTP server for the mail tests, on
# 127.0.0.1 and two free ports (STARTTLS and implicit TLS), with a test
# certificate made now. smtp_server_start exports
#   QUORVEL_TEST_SMTP_PORT      the STARTTLS port (plain SMTP without it too)
#   QUORVEL_TEST_SMTP_TLS_PORT  the implicit TLS port
#   QUORVEL_TEST_SMTP_DIR       where each message received is stored
#   QUORVEL_TEST_SMTP_CA        the certificate to trust
# and stops the server on exit (also on failure); smtp_server_stop stops it
# earlier.
smtp_server_start() {
  local here work
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  work="$(mktemp -d "${TMPDIR:-/tmp}/quorvel-smtp.XXXXXX")"
  _quorvel_smtp_work="$work"
  # Chains onto an EXIT trap set before (another test server, for one).
  local previous
  previous=$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")
  # shellcheck disable=SC2064
  trap "smtp_server_stop${previous:+; $previous}" EXIT
  mkdir -p "$work/mail"
  if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
      -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
      -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1; then
    echo "smtp: test certificate not made:" >&2
    cat "$work/openssl.log" >&2
    return 1
  fi
  chmod 600 "$work/key.pem"
  /usr/bin/python3 "$here/smtp_server.py" "$work/mail" "$work/cert.pem" "$work/key.pem" \
    "$work/ports" >"$work/server.log" 2>&1 &
  _quorvel_smtp_pid=$!
  local i
  for i in $(seq 100); do
    [ -s "$work/ports" ] && break
    if ! kill -0 "$_quorvel_smtp_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if [ ! -s "$work/ports" ]; then
    echo "smtp: test server did not start:" >&2
    cat "$work/server.log" >&2
    smtp_server_stop
    return 1
  fi
  read -r QUORVEL_TEST_SMTP_PORT QUORVEL_TEST_SMTP_TLS_PORT <"$work/ports"
  export QUORVEL_TEST_SMTP_PORT QUORVEL_TEST_SMTP_TLS_PORT
  export QUORVEL_TEST_SMTP_DIR="$work/mail" QUORVEL_TEST_SMTP_CA="$work/cert.pem"
  echo "smtp: test server on 127.0.0.1:$QUORVEL_TEST_SMTP_PORT (STARTTLS)," \
       "127.0.0.1:$QUORVEL_TEST_SMTP_TLS_PORT (TLS)"
}

smtp_server_stop() {
  if [ -n "${_quorvel_smtp_pid:-}" ]; then
    kill "$_quorvel_smtp_pid" 2>/dev/null || true
    wait "$_quorvel_smtp_pid" 2>/dev/null || true
    _quorvel_smtp_pid=""
  fi
  if [ -n "${_quorvel_smtp_work:-}" ]; then
    rm -rf "$_quorvel_smtp_work"
    _quorvel_smtp_work=""
  fi
}
