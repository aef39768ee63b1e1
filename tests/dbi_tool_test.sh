#!/usr/bin/env bash
# dbi_tool_test.sh DBI EXAMPLE: what only the real binary shows: exit statuses, folders left as
# they were, a pipe not read, races, signals, and every command within its limits on files
# crafted to make it work, allocate or print without end. What each part decides: dbi_*_test.cc.
set -uo pipefail
export LC_ALL=C  # stored texts may hold bytes that are not UTF-8
dbi=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
craft() { python3 "$(dirname "$0")/dbi_craft.py" "$@"; }

# Under a sanitizer, which reserves terabytes of address space and runs dbi
# several times slower, no ceiling and ten times the time.
ceiling=1048576 seconds=30
! grep -qaE '__(a|t)san_init' "$dbi" || ceiling='' seconds=300
# run ARGS...: dbi under 1 GiB of address space and 30 s; its output in $work/out.
run() {
  (if [ -n "$ceiling" ]; then ulimit -v "$ceiling"; fi; exec timeout "$seconds" "$dbi" "$@") >"$work/out" 2>&1
}
# expect STATUS PATTERN ARGS...: dbi ARGS exits with STATUS and prints PATTERN.
expect() {
  local status=$1 pattern=$2 rc
  shift 2
  run "$@"
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi $*: exit $rc, wanted $status"$'\n'"$(head -c 2000 "$work/out")"
  grep -qaE -- "$pattern" "$work/out" || fail "dbi $*: no /$pattern/ in"$'\n'"$(head -c 2000 "$work/out")"
}
# sql FILE STATEMENT...: changes a file by hand, outside the library.
sql() {
  python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for statement in sys.argv[2:]: db.execute(statement)
db.commit()' "$@" || fail "sql $*"
}
listing() { (cd "$1" && find . -printf '%p %y %s %l\n' | sort && find . -type f -exec sha256sum {} + | sort); }

mkdir -p "$work/made" "$work/empty"
(cd "$work/made" && "$example" >/dev/null) || { echo "FAIL: the example client failed"; exit 1; }
store=$work/made/qvdata
copy() { cp "$store" "$work/$1" && echo "$work/$1"; }

# --- the command line, and a missing file: one line, status 2, nothing created
expect 0 "^dbi of database_interface [0-9.]+ \(store schema 1.13.0\), on SQLite 3" --version
for args in "show" "check missing.db" "purge --force x.db" "recover missing.db out.db"; do
  out=$(cd "$work/empty" && "$dbi" $args 2>&1) rc=$?
  [ "$rc" = 2 ] && [ "$(wc -l <<<"$out")" = 1 ] || fail "dbi $args: exit $rc, output: $out"
done
[ -z "$(ls -A "$work/empty")" ] || fail "a missing file was created: $(ls -A "$work/empty")"

# --- the library's own file: secrets masked unless asked, times in UTC, and
# show and check leave every byte as it was
listing "$work/made" >"$work/before"
expect 0 '"user.token" = 8 bytes, expires .* UTC \([0-9]+ ms, valid\)' show --now 0 "$store"
expect 0 '"user.token" = "tok-8f2a"' show --reveal-secrets "$store"
expect 0 '"[^"]*qvdata": healthy, schema version "1.13.0"' check "$store" <&-  # as a daemon starts it
run show --json "$store" && python3 -c 'import json, sys; d = json.load(sys.stdin); s = d["start_records"][0]
assert d["opening"] == "nothing" and d["opening_effect"] == "change nothing" and "value" not in d["session_cache"]["entries"][0], d
assert s["sdk_version"] == "1.4.2" and "UTC" in s["start_time_utc"] and s["core_records"][0]["id"] == 1, d
assert s["instances"][0]["protocol_type"] == "rtmp", d' <"$work/out" ||
  fail "show --json: exit status or document"
listing "$work/made" | cmp -s - "$work/before" || fail "show or check changed the store's folder"
purged=$(copy purged.db) && sql "$purged" "UPDATE session_cache SET expire_time = 1000"
expect 0 '= 1 bytes, expires 1970-01-01 00:00:01.000 UTC \(1000 ms, expired\)' show --now 1000 "$purged"
expect 0 "Removed 2 expired session-cache entries \(expiry before .* UTC, 9000000000000 ms\).*; 0 left" \
  purge --now 9000000000000 "$purged"
sql "$purged" "INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES ('9', 'x', 1)" \
  "UPDATE message_collect_key SET message_access_key = hex(zeroblob(8388609))"
expect 2 "message_collect_key: it holds a value longer than the 16 MiB that dbi reads" show --json "$purged"
grep -q '"id": 2,' "$work/out" && grep -q '"pairs": \[dbi: ' "$work/out" ||
  fail "show --json: not the rows before the failed read, or not cut there"

# --- files the library would empty or refuse: purge says whether --force helps
newer=$(copy newer.db) && sql "$newer" "UPDATE db_version SET version = '2.0.0'"
expect 1 "^version: '2.0.0' is newer than 1.13.0" check "$newer"
expect 1 "would EMPTY the start.*nothing done \(--force opens it anyway\)" purge "$newer"
expect 0 "Removed 0 expired" purge --force "$newer"
unreadable=$(copy unreadable.db) && sql "$unreadable" "UPDATE db_version SET version = '1.13'"
expect 1 "the library refuses this file; nothing done, not even with --force" purge --force "$unreadable"
dropped=$(copy dropped.db) && sql "$dropped" "DROP TABLE session_cache"
expect 1 "table session_cache is missing" check "$dropped"
run show --json "$dropped" && python3 -c 'import json, sys; assert json.load(sys.stdin)["rows"]["session_cache"] is None' \
  <"$work/out" || fail "show --json: a missing table's rows"

# --- a hostile file: nothing printed carries a control, a bidirectional mark
# or an invisible character raw; its trigger and view are named; an output
# that cannot be written is status 3
hostile=$(copy hostile.db)
sql "$hostile" "INSERT INTO session_cache (session_key, session_value, expire_time) VALUES
  (char(27) || ']0;owned' || char(7) || CAST(x'9bc29be280aeffe2808befbbbfe280a8c2ad' AS TEXT), 'v', 1)" \
  "CREATE TRIGGER steal AFTER INSERT ON session_cache BEGIN UPDATE instance_info SET session_id = NEW.session_value; END"
for args in "0 show --reveal-secrets" "0 show --json" "1 check" "1 purge"; do
  read -r status command <<<"$args"
  expect "$status" "'steal' on|\"name\": \"steal\"|1 trigger or view" $command "$hostile"
  python3 -c 'import sys, unicodedata; text = open(sys.argv[1], "rb").read().decode("utf-8")
assert not [c for c in text if c != "\n" and unicodedata.category(c) in ("Cc", "Cf", "Zl", "Zp")]' \
    "$work/out" || fail "dbi $command printed a control raw"
done
"$dbi" show "$hostile" >/dev/full 2>/dev/null
[ $? = 3 ] || fail "dbi show >/dev/full: not exit status 3"

# --- what SQLite looks for beside FILE is never created, written or deleted
# by show, check or purge, and nothing blocks. crafted NAME FILE STATUSES
# PATTERN [PURGE OPTION]: show, check and purge's statuses, and the folder as it was.
crafted() {
  local name=$1 file=$2 statuses=$3 pattern=$4 got="" all=""
  listing "$(dirname "$file")" >"$work/listing"
  for command in show check "purge ${5:-}"; do
    run $command "$file"
    got+="${got:+ }$?" && all+=$(cat "$work/out")$'\n'
  done
  [ "$got" = "$statuses" ] || fail "$name: statuses $got, wanted $statuses"$'\n'"$all"
  grep -qE -- "$pattern" <<<"$all" || fail "$name: no /$pattern/ in"$'\n'"$all"
  listing "$(dirname "$file")" | cmp -s - "$work/listing" || fail "$name: the folder changed"
}
mkdir -p "$work/hot" "$work/wal" && hot=$work/hot/hot.db
craft hot "$store" "$hot"
crafted "a hot journal" "$hot" "2 1 1" "hot journal.*roll that write back first; nothing done"
echo "not yours to delete" >"$work/hot/victim"
python3 -c 'import struct, sys; name = sys.argv[2].encode(); open(sys.argv[1], "ab").write(struct.pack(">I", 1)
  + name + struct.pack(">II", len(name), sum(name)) + bytes.fromhex("d9d505f920a163d7"))' "$hot-journal" "$work/hot/victim"
crafted "a super-journal, forced" "$hot" "2 1 1" "nothing done, not even with --force" --force
craft live "$store" "$work/wal/live.db"
crafted "a -wal read through its -shm" "$work/wal/live.db" "0 0 1" '"wal" = 1 bytes'

# --- files swapped for FIFOs between dbi's look and SQLite's open, and a
# journal naming a victim planted before purge's write: never a hang, never
# a deleted victim
mkdir -p "$work/race"
race=$work/race/store.db
cp "$store" "$race.good" && mkfifo "$work/race/fifo"
while :; do
  cp "$race.good" "$race.new" && mv -f "$race.new" "$race" && ln "$work/race/fifo" "$race-journal"
  rm -f "$race-journal" && ln -f "$work/race/fifo" "$race.new" && mv -f "$race.new" "$race"
done & swapper=$!
for i in $(seq 20); do
  for args in "show $race" "check $race" "recover $race $work/race/out$i.db"; do
    timeout 10 "$dbi" $args >/dev/null 2>&1
    status=$?
    [ "$status" -le 2 ] || fail "dbi $args on a file swapped for a FIFO: exit $status"
  done
done
kill "$swapper" && wait "$swapper" 2>/dev/null
cp "$hot" "$work/race/hot.db"
while :; do cp "$hot-journal" "$work/race/new" && mv -f "$work/race/new" "$work/race/hot.db-journal"
  rm -f "$work/race/hot.db-journal"; done & planter=$!
for i in $(seq 50); do
  timeout 10 "$dbi" purge --force "$work/race/hot.db" >/dev/null 2>&1
  [ $? -le 1 ] || fail "dbi purge --force beside a planted journal: not status 0 or 1"
done
kill "$planter" && wait "$planter" 2>/dev/null
[ -f "$work/hot/victim" ] || fail "dbi purge deleted the file a planted journal names"

# --- a reader that takes its time holds nothing: the app writes meanwhile
mkdir -p "$work/pipe" && cp "$store" "$work/pipe/qvdata"
rows="WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 3000) INSERT INTO session_cache
  (session_key, session_value, expire_time) SELECT 'key' || i, hex(zeroblob(50)), 9e15 FROM n"
sql "$work/pipe/qvdata" "$rows"
"$dbi" show --reveal-secrets "$work/pipe/qvdata" | (sleep 4; cat >/dev/null) & reader=$!
sleep 1
(cd "$work/pipe" && "$example" >/dev/null 2>"$work/app.err") && ! grep -q "locked" "$work/app.err" ||
  fail "the app could not write while dbi show's output waited: $(cat "$work/app.err")"
wait "$reader"
"$dbi" show "$work/pipe/qvdata" 2>"$work/app.err" | head -c 1 >/dev/null
[ "${PIPESTATUS[0]}" = 3 ] || fail "dbi show | head -c 1: not exit status 3: $(cat "$work/app.err")"

# --- crafted to work, allocate or print without end: every command ends
# within 30 s and 1 GiB, by a status of its own, printing at most 64 times
# the file. NAME|KIND AND ITS NUMBERS|PATTERN of one of the commands
mkdir -p "$work/crafted"
while IFS='|' read -r name recipe pattern; do
  file=$work/crafted/$name.db
  read -ra recipe <<<"$recipe"
  craft "${recipe[0]}" "$store" "$file" "${recipe[@]:1}" || fail "$name: not crafted"
  limit=$(($(stat -c %s "$file") * 64 + 65536)) all=""
  for command in show "show --json --reveal-secrets" check purge "recover --json"; do
    out=() start=$(date +%s)
    [ "$command" = "recover --json" ] && out=("$work/crafted/out.db")
    run $command "$file" "${out[@]}"
    rc=$?
    all+=$(head -c 2000 "$work/out"; tail -c 1000 "$work/out")$'\n'
    [ ! -e "$work/crafted/out.db" ] || python3 -c 'import json, sys; json.load(open(sys.argv[1]))' \
      "$work/out" || fail "$name: recover --json printed no valid JSON"
    [ "$rc" -le 4 ] || fail "$name: dbi $command: exit $rc after $(($(date +%s) - start)) s"
    # recover is linear in what it salvages: 10,000 tables in seconds.
    [ "$name$command" != "tables-10000recover --json" ] || [ -z "$ceiling" ] || [ $(($(date +%s) - start)) -le 10 ] ||
      fail "$name: recover over 10 s"
    [ "$(stat -c %s "$work/out")" -le "$limit" ] || fail "$name: dbi $command printed $(stat -c %s "$work/out") bytes"
    if [ -e "$work/crafted/out.db" ]; then
      "$dbi" check "$work/crafted/out.db" >/dev/null || fail "$name: recover wrote an unhealthy store"
      rm "$work/crafted/out.db"
    fi
  done
  grep -qE -- "$pattern" <<<"$all" || fail "$name: no /$pattern/ in"$'\n'"$all" && rm -f "$file"
done <<'ROWS'
shared-children|shared core_recode 500 3|b-tree page [0-9]+ is reached twice.*not even with --force
computed-16mb-values|computed 200|longer than 64 times the file
doubling-columns|doubling 1000 16|session_cache: it takes far more work to read than a file
wide-rows|wide 270 1990|"table": "lost_and_found"
claims-4g|payload 1 4294967295|"rows_written": 6
deep-b-tree|chain 40000|deeper than 64 levels
tables-10000|tables 10000|"written": false
ROWS
# the bound itself: 64 interior pages and a leaf are one level too deep
craft chain "$store" "$work/crafted/edge.db" 64 || fail "edge: not crafted"
expect 1 "deeper than 64 levels" check "$work/crafted/edge.db"
truncate -s 1G "$work/crafted/sparse.db"
expect 2 "has 1073741824 bytes, more than the 128 MiB that dbi reads" recover "$work/crafted/sparse.db" "$work/x.db"

# --- recover: a damaged store gives an owner-only OUT, the file as it was, and
# status 1 while rows are missing; OUT is never replaced, nor left partial when
# a file-size limit stops its write, by the signal or, with that ignored, by a
# failed write (what comes back, row by row: dbi_recover_test.cc)
many=$(copy many.db) && sql "$many" "$rows"
cut=$work/cut.db first=$work/first.db
head -c $(($(stat -c %s "$many") / 2)) "$many" >"$cut" && cp "$cut" "$work/before"
cp "$many" "$first" && head -c 4096 /dev/zero | tr '\0' '\245' | dd of="$first" conv=notrunc 2>/dev/null
expect 1 "the header counts [0-9]+, the file holds [0-9]+: the file is cut short" recover "$cut" "$cut.out"
cmp -s "$cut" "$work/before" || fail "recover changed the file"
[ "$(stat -c %a "$cut.out")" = 600 ] || fail "recover: OUT is not owner-only"
expect 1 "already exists; nothing done" recover "$cut" "$cut.out"
expect 0 "First page: unusable.*read through a new store's first page" recover "$first" "$work/first.out"
mkdir -p "$work/signal"
(ulimit -f 8 && exec "$dbi" recover "$many" "$work/signal/out.db") >/dev/null 2>&1
[ $? -gt 128 ] || fail "recover under a file-size limit was not ended by SIGXFSZ"
(ulimit -f 8 && trap '' XFSZ && exec timeout "$seconds" "$dbi" recover "$many" "$work/signal/out.db") >"$work/out" 2>&1
[ $? = 3 ] && grep -q "File too large" "$work/out" || fail "recover past a file-size limit, SIGXFSZ ignored: $(cat "$work/out")"
[ -z "$(ls -A "$work/signal")" ] || fail "recover cut off by a file-size limit left $(ls -A "$work/signal")"
# On a FUSE view, which has no files without a name, the temporary is named:
# only OUT is left, and nothing after SIGXFSZ (where bindfs can mount)
if command -v bindfs >/dev/null && mkdir "$work/real" "$work/view" && bindfs "$work/real" "$work/view" 2>/dev/null; then
  trap 'umount "$work/view"; rm -rf "$work"' EXIT
  expect 1 "the file is cut short" recover "$cut" "$work/view/out.db"
  (ulimit -f 8 && exec "$dbi" recover "$many" "$work/view/big.db") >/dev/null 2>&1
  [ $? -gt 128 ] && [ "$(ls -A "$work/real")" = out.db ] || fail "recover on a FUSE view left $(ls -A "$work/real")"
fi

[ "$failures" = 0 ] && echo "dbi: all checks passed"
exit $((failures != 0))
