# A scratch PostgreSQL server of Debian's packages (postgresql), for the
# tests and the benchmark: sourced, it defines pg_start DIR and pg_stop.
# The server listens on a Unix socket in DIR only, with its data in
# DIR/data, runs as nobody when we are root (the server refuses root), and
# trusts local connections as the superuser morva. The programs are taken
# from Debian's own folder, /usr/lib/postgresql/VERSION/bin, whatever else
# is on PATH, so that a run here and in CI use the same server.
# After pg_start: PGBIN, PGHOST (DIR), PGUSER=morva, PGDATABASE=postgres,
# PGOPTIONS.

pg_bin() { ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1; }

# 0 when the server started; 77 when no server is installed; 1 on failure.
pg_start() {
    PGBIN=$(pg_bin)
    [ -n "$PGBIN" ] && [ -x "$PGBIN/initdb" ] && [ -x "$PGBIN/pg_ctl" ] || return 77
    pg_dir=$(cd "$1" && pwd)
    pg_as=()
    if [ "$(id -u)" = 0 ]; then
        pg_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
        chown nobody:nogroup "$pg_dir" && chmod 755 "$pg_dir" || return 1
    fi
    "${pg_as[@]}" "$PGBIN/initdb" --no-sync -A trust -U morva -E UTF8 --locale=C \
        -D "$pg_dir/data" >"$pg_dir/initdb.log" 2>&1 || { cat "$pg_dir/initdb.log"; return 1; }
    "${pg_as[@]}" "$PGBIN/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 \
        -o "-c listen_addresses= -k $pg_dir -c max_connections=40" start >/dev/null ||
        { cat "$pg_dir/server.log"; return 1; }
    # Notices (a DROP ... IF EXISTS of nothing) are no news here.
    export PGHOST=$pg_dir PGUSER=morva PGDATABASE=postgres PGOPTIONS='-c client_min_messages=warning'
    unset PGPORT PGPASSWORD PGSERVICE PGSERVICEFILE PGPASSFILE
}

# Restarts it at once, as a crash would (no checkpoint), or in order.
pg_restart() {
    "${pg_as[@]}" "$PGBIN/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 \
        -m "${1:-immediate}" -o "-c listen_addresses= -k $pg_dir -c max_connections=40" \
        restart >/dev/null
}

pg_stop() {
    [ -n "${pg_dir:-}" ] && [ -f "$pg_dir/data/postmaster.pid" ] &&
        "${pg_as[@]}" "$PGBIN/pg_ctl" -D "$pg_dir/data" -m immediate -w stop >/dev/null 2>&1
    return 0
}

pg_sql() { "$PGBIN/psql" -X -q -v ON_ERROR_STOP=1 -At "$@"; }
