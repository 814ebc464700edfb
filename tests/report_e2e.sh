#!/usr/bin/env bash
# The whole path of a report: a generated SMDR stream through the packer
# (the clock frozen inside the stream's days) into an hourly tree, the
# loader into SQLite, morva-report on a day that calls span into and out
# of, with the shipped directory and tariff examples and a trunks file.
# extensions.csv and summary.csv agree with queries on the database; a
# text that would be a spreadsheet formula is made text in the CSV files
# and markup is escaped on the page; a failed report leaves the files of
# the one before; a month without calls is said. Then the page is
# rendered in headless Chromium: it loads, every plot is drawn, and a
# screenshot is not blank. Without the browser (Debian package
# chromium-headless-shell) the rest is checked and the case reports
# skipped (77), never passed; without sqlite3 or python3 it is skipped.
# Usage: report_e2e.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
for tool in sqlite3 python3; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
[ -n "$faketime_lib" ] || { echo "skipped: no libfaketime (Debian package faketime)"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
export ASAN_OPTIONS=verify_asan_link_order=0 TZ=UTC
fail=0

# About 26 hours of calls from noon on 30 November: the report's day,
# 1 December, has calls that began the day before and calls that end the
# day after.
"$build/gensmdr" -s 9 -t '2026-11-30 12:00' sl1x11rx 100000 >stream.smdr || exit 1
mkdir cdr
env LD_PRELOAD="$faketime_lib" FAKETIME='2026-12-01 12:00:00' \
    "$build/morva-sl1x11rx" -v -i stream.smdr -o cdr 2>packer.err ||
    { tail -n 5 packer.err; echo "the packer failed"; exit 1; }
"$build/morva-cdrload" cdr.sqlite cdr >/dev/null 2>loader.err ||
    { tail -n 5 loader.err; echo "the loader failed"; exit 1; }

printf '%s\n' first,last,group,size 4000,4499,City,500 4500,4999,Mobile,500 >trunks.csv
# The shipped directory and a person whose name and department would be
# formulas in a spreadsheet and markup on the page.
{ cat "$src/examples/directory.csv"
  echo '9999998,"=HYPERLINK(""http://example.invalid/"",""<b>Pay</b>"")",-2+3'; } >directory.csv
mkdir csv
"$build/morva-report" --from 2026-12-01 --to 2026-12-02 --directory directory.csv \
    --tariff "$src/examples/tariff.csv" --trunks trunks.csv --csv csv -o report.html cdr.sqlite \
    2>report.err || { cat report.err; echo "morva-report failed"; exit 1; }
[ -s report.err ] && { cat report.err; echo "morva-report said something"; fail=1; }
ls csv report.html.tmp 2>/dev/null | grep -q '\.tmp$' && { echo "a temporary file was left"; fail=1; }

# A report of another period whose page cannot be put in place (a folder
# stands there) fails and leaves the CSV files of the one before.
cp -a csv csv.before && mkdir page.html
"$build/morva-report" --from 2026-11-30 --to 2026-12-02 --csv csv -o page.html cdr.sqlite 2>/dev/null
rc=$?
[ $rc = 2 ] || { echo "the report whose page has a folder in its place: status $rc, not 2"; fail=1; }
diff -r csv.before csv >/dev/null || { echo "a failed report replaced CSV files"; fail=1; }
ls -a csv . | grep -q '\.tmp$' && { echo "a failed report left a temporary file"; fail=1; }
rm -r csv.before page.html
# A FIFO (or a device such as /dev/null) at the page's name is written into,
# never renamed over.
mkfifo page.fifo
timeout 10 cat page.fifo >fifo.html &
"$build/morva-report" --from 2026-12-01 --to 2026-12-02 -o page.fifo cdr.sqlite 2>/dev/null ||
    { echo "the report into a FIFO failed"; fail=1; }
wait
[ -p page.fifo ] && grep -q '</html>' fifo.html || { echo "the page's FIFO was replaced"; fail=1; }
rm page.fifo fifo.html
# A month without calls is written, status 0, and said on standard error.
"$build/morva-report" --from 2026-10-01 -o empty.html cdr.sqlite 2>empty.err
rc=$?
[ $rc = 0 ] && grep -q ': no calls in the period 2026-10-01 to 2026-10-31$' empty.err ||
    { echo "a month without calls: status $rc, said: $(cat empty.err)"; fail=1; }

# The report's CSV files read into sqlite3 beside the database: each
# extension's calls and seconds, out and in, and the calls and seconds of
# each direction agree with the rows of the day; the extensions' costs add
# up to the outgoing calls' cost.
period="end_time >= '2026-12-01 00:00:00' AND end_time < '2026-12-02 00:00:00'"
sqlite3 -batch >compare.out 2>&1 <<SQL
ATTACH 'cdr.sqlite' AS db;
.import --csv csv/extensions.csv ext
.import --csv csv/summary.csv summary
CREATE TEMP VIEW fromdb AS
    SELECT ext, sum(o) AS o, sum(i) AS i, sum(so) AS so, sum(si) AS si FROM (
        SELECT coalesce(first_party, '') AS ext, 1 AS o, 0 AS i, duration AS so, 0 AS si
            FROM db.cdr WHERE direction = 'out' AND $period
        UNION ALL
        SELECT coalesce(second_party, ''), 0, 1, 0, duration
            FROM db.cdr WHERE direction = 'in' AND $period)
    GROUP BY ext;
CREATE TEMP VIEW fromcsv AS
    SELECT extension AS ext, CAST(calls_out AS INTEGER) AS o, CAST(calls_in AS INTEGER) AS i,
           CAST(seconds_out AS INTEGER) AS so, CAST(seconds_in AS INTEGER) AS si
    FROM ext WHERE o + i > 0;
SELECT 'only in the database: ' || ext || ',' || o || ',' || i || ',' || so || ',' || si
    FROM (SELECT * FROM fromdb EXCEPT SELECT * FROM fromcsv);
SELECT 'only in extensions.csv: ' || ext || ',' || o || ',' || i || ',' || so || ',' || si
    FROM (SELECT * FROM fromcsv EXCEPT SELECT * FROM fromdb);
SELECT 'too few extensions to prove much: ' || count(*) FROM fromdb HAVING count(*) < 100;
SELECT 'extension 2101 of the directory is not named' WHERE NOT EXISTS
    (SELECT 1 FROM ext WHERE extension = '2101' AND name = 'Anna Berger' AND department = 'Sales');
SELECT 'summary.csv, ' || d || ': ' || calls || ' calls, ' || secs || ' s; the database: ' ||
       coalesce(n, 0) || ' calls, ' || coalesce(s, 0) || ' s'
    FROM (SELECT CASE direction WHEN 'outgoing' THEN 'out' WHEN 'incoming' THEN 'in'
                 ELSE direction END AS d, CAST(calls AS INTEGER) AS calls,
                 CAST(seconds AS INTEGER) AS secs FROM summary WHERE direction <> 'all')
    LEFT JOIN (SELECT direction AS dd, count(*) AS n, sum(duration) AS s FROM db.cdr
               WHERE $period GROUP BY direction) ON dd = d
    WHERE calls <> coalesce(n, 0) OR secs <> coalesce(s, 0);
SELECT 'the extensions cost ' || e || ', the outgoing calls ' || o
    FROM (SELECT sum(round(cost * 10000)) AS e FROM ext),
         (SELECT round(cost * 10000) AS o FROM summary WHERE direction = 'outgoing')
    WHERE e <> o OR o = 0;
SQL
[ -s compare.out ] && { head -n 20 compare.out; fail=1; }
[ "$(head -n 1 csv/extensions.csv)" = extension,name,department,calls_out,calls_in,seconds_out,seconds_in,cost ] ||
    { echo "extensions.csv has another header: $(head -n 1 csv/extensions.csv)"; fail=1; }
grep -qxF '9999998,"'"'"'=HYPERLINK(""http://example.invalid/"",""<b>Pay</b>"")",'"'"'-2+3,0,0,0,0,0.0000' \
    csv/extensions.csv && grep -q "^'-2+3," csv/departments.csv && grep -q '^-,' csv/departments.csv ||
    { echo "a text that begins as a formula is not made text in the CSV files"; fail=1; }
grep -qF '=HYPERLINK(&quot;http://example.invalid/&quot;,&quot;&lt;b&gt;Pay&lt;/b&gt;&quot;)' report.html &&
    ! grep -q '<b>Pay' report.html || { echo "a name from the directory is not escaped on the page"; fail=1; }
grep -q '^City,out,[0-2][0-9]:[0-5][0-9],' csv/traffic.csv ||
    { echo "traffic.csv has no busy hour for City, out:"; cat csv/traffic.csv; fail=1; }

# Self-contained: no script, nothing fetched.
if grep -qiE '<script|<link|<img|@import|url\(|src=' report.html; then
    echo "the page refers to something outside itself"; fail=1
fi

if ! command -v chromium-headless-shell >/dev/null; then
    [ $fail = 0 ] || exit 1
    echo "skipped: no chromium-headless-shell (the page is not rendered)"
    exit 77
fi
browse() {
    mkdir -p profile
    timeout 120 chromium-headless-shell --headless --no-sandbox --disable-gpu \
        --disable-background-networking --disable-component-update --disable-sync --no-first-run \
        --user-data-dir="$tmp/profile" "$@" "file://$tmp/report.html" 2>>browser.err
}
browse --dump-dom >dom.html || { tail -n 5 browser.err; echo "the browser failed on the page"; fail=1; }
browse --window-size=794,1123 --screenshot="$tmp/shot.png" >/dev/null ||
    { tail -n 5 browser.err; echo "the browser made no screenshot"; fail=1; }
python3 - dom.html shot.png <<'PY' || fail=1
import sys, zlib, struct
from html.parser import HTMLParser

# Every plot holds drawn shapes, and the page is the report.
class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.svgs, self.depth, self.title = [], 0, ""
        self.inh1 = False
    def handle_starttag(self, tag, attrs):
        if tag == "svg":
            self.svgs.append(0)
            self.depth += 1
        elif self.depth and tag in ("rect", "line", "polyline", "path", "circle"):
            self.svgs[-1] += 1
        self.inh1 = tag == "h1"
    def handle_endtag(self, tag):
        if tag == "svg":
            self.depth -= 1
    def handle_data(self, data):
        if self.inh1:
            self.title += data
page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
bad = 0
if page.title.strip() != "Call accounting":
    print("the page did not load: no heading"); bad = 1
if len(page.svgs) < 4:
    print("only %d plots on the page" % len(page.svgs)); bad = 1
empty = [i for i, n in enumerate(page.svgs) if n == 0]
if empty:
    print("plots drawn empty:", empty); bad = 1

# The screenshot: decode the PNG (8-bit RGB or RGBA) and count pixels that
# are not white.
data = open(sys.argv[2], "rb").read()
if data[:8] != b"\x89PNG\r\n\x1a\n":
    print("the screenshot is no PNG"); sys.exit(1)
pos, idat, w = 8, b"", 0
while pos < len(data):
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b"IHDR":
        w, h, depth, colour = struct.unpack(">IIBB", body[:10])
        if depth != 8 or colour not in (2, 6):
            print("unexpected PNG format", depth, colour); sys.exit(1)
        bpp = 3 if colour == 2 else 4
    elif kind == b"IDAT":
        idat += body
    pos += 12 + n
raw = zlib.decompress(idat)
stride = w * bpp
prev = bytearray(stride)
ink = colours = 0
seen = set()
for y in range(h):
    f = raw[y * (stride + 1)]
    line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    for x in range(0, stride, bpp):
        px = bytes(line[x:x + 3])
        if px != b"\xff\xff\xff":
            ink += 1
            if len(seen) < 64: seen.add(px)
    prev = line
share = ink / (w * h)
if share < 0.02 or len(seen) < 8:
    print("the screenshot looks blank: %.1f%% ink, %d colours" % (100 * share, len(seen))); bad = 1
else:
    print("page: %d plots drawn; screenshot %dx%d, %.1f%% ink" % (len(page.svgs), w, h, 100 * share))
sys.exit(bad)
PY
[ $fail = 0 ] || exit 1
echo "report path sound: extensions and summary agree with the database, the page renders"
exit 0
