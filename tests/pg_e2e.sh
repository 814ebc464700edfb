#!/usr/bin/env bash
# The loader and the report against a real PostgreSQL server, started here
# in a scratch folder (tests/pgserver.sh) and stopped, with the folder
# removed, however the case ends. A generated stream through the packer
# makes the tree; then:
#  - the loader killed (SIGKILL) at 20 random moments of a load, and the
#    server crashing (restarted at once) twice in the middle of one, then a
#    run left in peace: each line is in the table once, exactly as a single
#    load in peace puts it into another database;
#  - two sites loading at once into empty databases, three times: both
#    runs succeed and each site has every line once; then a run without
#    --site is refused, its host's name not among them;
#  - a database of a newer schema is refused with a message;
#  - the report of a site from PostgreSQL is the report of the same tree
#    from SQLite, file for file; with two sites the per-site tables name
#    the site after their own columns.
# Skipped (77) without Debian's postgresql, sqlite3 or libfaketime.
# Usage: pg_e2e.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
. "$src/tests/pgserver.sh"
[ -n "$(pg_bin)" ] || { echo "skipped: no PostgreSQL server (Debian package postgresql)"; exit 77; }
command -v sqlite3 >/dev/null || { echo "skipped: no sqlite3"; exit 77; }
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
[ -n "$faketime_lib" ] || { echo "skipped: no libfaketime (Debian package faketime)"; exit 77; }

tmp=$(mktemp -d)
pgdir=$(mktemp -d)
trap 'pg_stop; rm -rf "$tmp" "$pgdir"' EXIT
cd "$tmp" || exit 1
export ASAN_OPTIONS=verify_asan_link_order=0 TZ=UTC
pg_start "$pgdir" || { echo "the server did not start"; exit 1; }
fail=0
bad() { echo "$*"; fail=1; }
conn() { echo "host=$PGHOST user=morva dbname=$1"; }
newdb() { pg_sql -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1"; }
# Every row with its key, as the view shows it, in key order.
dump() {
    pg_sql -d "$1" -c "SELECT site, src_file, src_gen, src_line, first_party, second_party,
        dialled, end_time, duration, meter, charge, type, direction, assisted FROM cdr
        ORDER BY site, src_file, src_gen, src_line"
}

# About 2.4 days of calls from noon on 30 November, some 90 hourly files.
"$build/gensmdr" -s 5 -t '2026-11-30 12:00' sl1x11rx 200000 >stream.smdr || exit 1
mkdir cdr
env LD_PRELOAD="$faketime_lib" FAKETIME='2026-12-01 12:00:00' \
    "$build/morva-sl1x11rx" -v -i stream.smdr -o cdr 2>packer.err ||
    { tail -n 5 packer.err; echo "the packer failed"; exit 1; }

newdb ref
"$build/morva-cdrload" --site a "$(conn ref)" cdr 2>load.err || { cat load.err; exit 1; }
dump ref >ref.rows
rows=$(wc -l <ref.rows)
[ "$rows" -gt 150000 ] || bad "only $rows rows in a load in peace"

# Killed at random moments, the server crashing twice; then in peace.
newdb crash
RANDOM=15
for i in $(seq 1 22); do
    "$build/morva-cdrload" --site a "$(conn crash)" cdr 2>run.err &
    pid=$!
    sleep "$((RANDOM % 1500 / 1000)).$(printf %03d $((RANDOM % 1000)))"
    if [ "$i" -gt 20 ]; then
        pg_restart immediate || { bad "the server did not come back"; break; }
        wait "$pid"
        rc=$?
        [ $rc = 2 ] && grep -q '^morva-cdrload: PostgreSQL crash on ' run.err ||
            { [ $rc = 0 ] || bad "run $i, the server restarted: status $rc: $(cat run.err)"; }
    else
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
done
"$build/morva-cdrload" --site a "$(conn crash)" cdr 2>run.err || bad "the run in peace failed: $(cat run.err)"
dump crash >crash.rows
cmp -s ref.rows crash.rows ||
    bad "after the kills: $(wc -l <crash.rows) rows, $(sort -u crash.rows | wc -l) distinct, not the $rows of a load in peace"

# Two sites at once into an empty database, three times.
for round in 1 2 3; do
    newdb two$round
    "$build/morva-cdrload" --site a "$(conn two$round)" cdr 2>a.err &
    a=$!
    "$build/morva-cdrload" --site b "$(conn two$round)" cdr 2>b.err
    rb=$?
    wait "$a"
    ra=$?
    [ $ra = 0 ] && [ $rb = 0 ] || bad "round $round: statuses $ra and $rb: $(cat a.err b.err)"
    got=$(pg_sql -d "two$round" -c "SELECT site, count(*), count(DISTINCT (src_file, src_gen, src_line))
        FROM cdr GROUP BY site ORDER BY site" | tr '\n' ' ')
    [ "$got" = "a|$rows|$rows b|$rows|$rows " ] || bad "round $round: rows by site: $got"
done

# Without --site, a server of other sites than the host's name is refused.
"$build/morva-cdrload" "$(conn two1)" cdr 2>nosite.err
rc=$?
[ $rc = 2 ] && grep -qF "holds the calls of the sites 'a', 'b', none named as this host" nosite.err ||
    bad "no --site, sites a and b there: status $rc: $(cat nosite.err)"

# A database of a newer schema is refused.
newdb newer
"$build/morva-cdrload" --site a "$(conn newer)" "$src/examples" 2>/dev/null
pg_sql -d newer -c 'UPDATE cdr_schema SET version = 99'
"$build/morva-cdrload" --site a "$(conn newer)" cdr 2>newer.err
rc=$?
[ $rc = 2 ] && grep -q 'made by a newer morva-cdrload (schema 99; this one knows 2)' newer.err ||
    bad "newer schema: status $rc: $(cat newer.err)"

# The report: SQLite and PostgreSQL, the same tree, the same figures.
"$build/morva-cdrload" --site a cdr.sqlite cdr 2>/dev/null || bad "the SQLite load failed"
mkdir lite pg two
report() {
    "$build/morva-report" --from 2026-12-01 --to 2026-12-03 \
        --directory "$src/examples/directory.csv" --tariff "$src/examples/tariff.csv" "$@"
}
report --csv lite -o lite.html cdr.sqlite || bad "the report from SQLite failed"
report --csv pg -o pg.html --site a "$(conn two1)" || bad "the report from PostgreSQL failed"
diff -r lite pg >report.diff || { head -n 20 report.diff; bad "the reports differ"; }
report --csv two -o two.html "$(conn two1)" || bad "the report of two sites failed"
[ "$(head -n 1 two/extensions.csv)" = extension,name,department,calls_out,calls_in,seconds_out,seconds_in,cost,site ] ||
    bad "extensions.csv of two sites: $(head -n 1 two/extensions.csv)"
[ "$(grep -c ',a$' two/extensions.csv)" = "$(grep -c ',b$' two/extensions.csv)" ] &&
    [ "$(grep -c ',a$' two/trunk_groups.csv)" -gt 0 ] || bad "two sites: the tables are not per site"
[ "$(sed 1d two/summary.csv | cut -d, -f2)" = "$(sed 1d lite/summary.csv | awk -F, '{ print 2 * $2 }')" ] ||
    bad "two sites: the summary is not twice the one site's"

[ $fail = 0 ] && echo "PostgreSQL: each line once after 20 kills and 2 crashes, two sites at once, the report as from SQLite"
exit $fail
