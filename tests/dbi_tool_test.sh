#!/usr/bin/env bash
# dbi_tool_test.sh DBI EXAMPLE: the inspector on store files made through the
# library (by the example client) and by hand (python3's sqlite3): exit
# statuses, the lines that matter, valid JSON, and that show and check never
# change a file and that no command creates a missing one; crafted sets of
# files beside a store, which nothing but purge --force may touch; recover on
# a store damaged three ways.
set -uo pipefail
export LC_ALL=C  # stored texts may hold bytes that are not UTF-8
dbi=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A crafted file may ask for gigabytes: with `bound` set, dbi runs under a
# ceiling of 1 GiB of address space and a minute. Not under a sanitizer,
# which reserves terabytes of address space for itself.
ceiling=1048576
! grep -qaE '__(a|t)san_init' "$dbi" || ceiling=
run_dbi() {
  if [ -z "${bound:-}" ]; then
    "$dbi" "$@"
  else
    (if [ -n "$ceiling" ]; then ulimit -v "$ceiling"; fi; exec timeout 60 "$dbi" "$@")
  fi
}

# expect STATUS PATTERN ARGS...: dbi ARGS exits with STATUS and prints PATTERN.
expect() {
  local status=$1 pattern=$2 out rc
  shift 2
  out=$(run_dbi "$@" 2>&1)
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi $*: exit $rc, wanted $status"$'\n'"$out"
  grep -qE -- "$pattern" <<<"$out" || fail "dbi $*: no /$pattern/ in"$'\n'"$out"
}

# absent STATUS PATTERN ARGS...: dbi ARGS exits with STATUS and does not
# print PATTERN (a dbi that dies before printing it must not pass).
absent() {
  local status=$1 pattern=$2 out rc
  shift 2
  out=$(run_dbi "$@" 2>&1)
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi $*: exit $rc, wanted $status"$'\n'"$out"
  ! grep -qE -- "$pattern" <<<"$out" || fail "dbi $*: /$pattern/ shown"
}

# unchanged STATUS ARGS... FILE: dbi ARGS FILE exits with STATUS and leaves
# FILE byte for byte as it was; the status tells that it did read the file.
unchanged() {
  local status=$1 file=${!#} rc
  shift
  cp "$file" "$work/before"
  run_dbi "$@" >/dev/null 2>&1
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi $*: exit $rc, wanted $status"
  cmp -s "$file" "$work/before" || fail "dbi $* changed the file"
}

# json STATUS ARGS... -- PYTHON: dbi ARGS exits with STATUS and prints valid
# JSON for which PYTHON (on `d`) holds.
json() {
  local status=$1 args=() rc
  shift
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  run_dbi "${args[@]}" >"$work/out.json"
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi ${args[*]}: exit $rc, wanted $status"
  python3 -c "import json, sys; d = json.load(sys.stdin); assert ($2), d" <"$work/out.json" ||
    fail "dbi ${args[*]}: invalid JSON, or not $2"
}

# sql FILE STATEMENT...: changes a file by hand, outside the library.
sql() {
  python3 - "$@" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for statement in sys.argv[2:]:
    db.execute(statement)
db.commit()
PY
}

# craft KIND SOURCE OUT [N [M]]: OUT is the store file SOURCE with what KIND
# adds, pages that belong to no table:
#   payload N M  one page of N cells, each claiming a payload of about M
#                bytes, whose overflow chain leads back to the page itself
#   random N     N random bytes instead of all but the first page, each page
#                a table leaf by its first byte
#   wide N M     N pages: one record of M fields, then pages full of records
#                of one field
#   chain N      instead, a new file: a session_cache whose value is computed
#                through N generated columns of 15 MB each
#   deep N       instead, a new file: a session_cache whose CHECK is an
#                expression N levels deep, written past SQLite's parser
craft() {
  python3 - "$@" <<'PY'
import random, sqlite3, struct, sys
kind, source, out = sys.argv[1:4]
n = [int(a) for a in sys.argv[4:]]
data = bytearray(open(source, "rb").read())
size = int.from_bytes(data[16:18], "big")
def varint(v):
    b = [v & 0x7f]
    while v > 0x7f:
        v >>= 7
        b.append(0x80 | (v & 0x7f))
    return bytes(reversed(b))
def record(serial_types, body=b""):
    length = len(serial_types) + 1
    length += len(varint(length)) - 1
    return varint(length) + bytes(serial_types) + body
def leaf(cells):
    page = bytearray(size)
    end = size
    for i, cell in enumerate(cells):
        end -= len(cell)
        page[end:end + len(cell)] = cell
        page[8 + 2 * i:10 + 2 * i] = struct.pack(">H", end)
    page[0:8] = b"\x0d\0\0" + struct.pack(">HH", len(cells), end) + b"\0"
    return page
def append(pages):
    for page in pages:
        data.extend(page)
    data[28:32] = struct.pack(">I", len(data) // size)  # the header's page count
if kind == "payload":
    # Rounded to a claim whose cell keeps SQLite's least on its page.
    least = (size - 12) * 32 // 255 - 23
    claim = n[1] - (n[1] - least) % (size - 4)
    local = record([1], b"\1").ljust(least, b"\0")
    append([leaf([varint(claim) + varint(1) + local + struct.pack(">I", len(data) // size + 1)] * n[0])])
elif kind == "random":
    noise = random.Random(1).randbytes(n[0])
    del data[size:]
    append([b"\x0d" + noise[i + 1:i + size] for i in range(0, n[0], size)])
elif kind == "wide":
    wide = record([0] * n[1])
    cell = varint(2) + varint(1) + record([0])
    append([leaf([varint(len(wide)) + varint(1) + wide])] +
           [leaf([cell] * ((size - 8) // (len(cell) + 2)))] * (n[0] - 1))
if kind == "deep":
    db = sqlite3.connect(out)
    db.execute("CREATE TABLE session_cache (id INTEGER PRIMARY KEY, session_key TEXT, "
               "session_value TEXT, expire_time INT)")
    db.commit()
    db.execute("PRAGMA writable_schema = ON")
    db.execute("UPDATE sqlite_master SET sql = substr(sql, 1, length(sql) - 1) || ? "
               "WHERE name = 'session_cache'", (" CHECK (%s1))" % ("1+" * n[0]),))
    db.commit()
elif kind == "chain":
    db = sqlite3.connect(out)
    columns = ["g0 AS (zeroblob(15000000))"] + ["g%d AS (substr(g%d, 2))" % (i, i - 1)
                                                for i in range(1, n[0])]
    db.execute("CREATE TABLE session_cache (id INTEGER PRIMARY KEY, session_key TEXT, %s, "
               "session_value AS (g%d), expire_time INT)" % (", ".join(columns), n[0] - 1))
    db.execute("INSERT INTO session_cache (session_key, expire_time) VALUES ('k', 0)")
    db.commit()
else:
    open(out, "wb").write(data)
PY
}

# A store as the library writes it: the example client's file.
mkdir -p "$work/made" "$work/empty"
(cd "$work/made" && "$example" >/dev/null) || { echo "FAIL: the example client failed"; exit 1; }
store=$work/made/qvdata
copy() { cp "$store" "$work/$1" && echo "$work/$1"; }

# --- help and usage faults (each fault's line: dbi_command_line_test.cc)
expect 0 "^Commands:" --help
expect 0 "^Usage: dbi recover" recover --help
expect 2 "unknown option '--force'" show --force "$store"

# --- a missing file: one line, status 2, and nothing created
for args in "show" "show missing.db" "check missing.db" "purge missing.db" "purge --force x.db" \
  "recover missing.db out.db"; do
  out=$(cd "$work/empty" && "$dbi" $args 2>&1)
  rc=$?
  [ "$rc" = 2 ] && [ "$(wc -l <<<"$out")" = 1 ] || fail "dbi $args: exit $rc, output: $out"
done
[ -z "$(ls -A "$work/empty")" ] || fail "a missing file was created: $(ls -A "$work/empty")"

# --- the library's own file: everything listed, the key pair masked
expect 0 'Schema version: "1.13.0"' show "$store"
expect 0 "would change nothing" show "$store"
expect 0 'instance [0-9]+: instance_no "player-1"' show "$store"
expect 0 'core record [0-9]+: dump "crash/' show "$store"
expect 0 'access key: 10 bytes, secret key: 17 bytes' show "$store"
absent 0 "SK-example-secret" show "$store"
expect 0 '"SK-example-secret"' show --reveal-secrets "$store"
expect 0 '"user.token" = "tok-8f2a", expires .* UTC \([0-9]+ ms, valid\)' show --reveal-secrets --now 0 "$store"
expect 0 'expires 1970-01-01 00:00:00.000 UTC \(0 ms, expired\)' show "$(
  f=$(copy clock.db) && sql "$f" "UPDATE session_cache SET expire_time = 0" && echo "$f")"
expect 0 '^"[^"]*qvdata": healthy, schema version "1.13.0"' check "$store"
json 0 show --json "$store" -- 'd["opening"] == "nothing" and d["rows"]["start_recode"] == 1 and
  d["start_records"][0]["instances"][0]["instance_no"] == "player-1" and
  d["start_records"][0]["instances"][0]["id"] == 1 and
  "secret_key" not in d["key_pairs"]["pairs"][0]'
json 0 check --json "$store" -- 'd["healthy"] and d["findings"] == [] and
  d["schema_version"] == d["library_schema_version"] == "1.13.0" and d["opening"] == "nothing"'
unchanged 0 show "$store"
unchanged 0 check "$store"

# --- purge through the library, against the expiry given
purged=$(copy purged.db)
# The example's user.token expires in an hour, its other entry in 30 days.
in_two_hours=$((($(date +%s) + 7200) * 1000))
expect 0 "Removed 1 expired session-cache entry .*; 1 left" purge --now "$in_two_hours" "$purged"
expect 0 "Removed 1 expired session-cache entry .*; 0 left" purge "$purged" --now 9000000000000

# --- older, newer, unreadable versions
older=$(copy older.db)
sql "$older" "UPDATE db_version SET version = '1.12.0'"
expect 0 "would migrate it to 1.13.0, keeping every row" show "$older"
expect 0 "healthy" check "$older"
expect 0 "Removed 0 expired" purge "$older"
expect 0 'Schema version: "1.13.0"' show "$older"

newer=$(copy newer.db)
sql "$newer" "UPDATE db_version SET version = '2.0.0'"
expect 0 "would EMPTY the start, core, instance and session tables" show "$newer"
expect 1 "^version: '2.0.0' is newer than 1.13.0" check "$newer"
for args in "0 show" "0 show --json" "1 check" "1 check --json" "1 purge"; do
  unchanged $args "$newer"
done
expect 1 "nothing done \(--force opens it anyway\)" purge "$newer"
expect 0 "Removed 0 expired" purge --force "$newer"
expect 0 "start_recode 0, session_cache 0" show "$newer"

unreadable=$(copy unreadable.db)
sql "$unreadable" "UPDATE db_version SET version = '1.13'"
expect 0 "would fail: the library refuses this file" show "$unreadable"
expect 1 "^version: '1.13' is not three numbers" check "$unreadable"
expect 1 "nothing done" purge "$unreadable"

# --- by hand: a database that is no store, broken rows, odd texts
foreign=$work/foreign.db
sql "$foreign" "CREATE TABLE notes(text)"
expect 0 "Schema version: none" show "$foreign"
expect 0 "session_cache \(no table\)" show "$foreign"
expect 1 "^schema: table start_recode is missing" check "$foreign"
expect 1 "would create the store's missing tables" purge "$foreign"
unchanged 1 purge "$foreign"

odd=$(copy odd.db)
sql "$odd" "PRAGMA foreign_keys = OFF" \
  "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time)
   VALUES ('d', 'l', 99, 1)" \
  "INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time)
   SELECT 'late', 'l', min(id), 1 FROM start_recode" \
  "ALTER TABLE message_collect_key ADD COLUMN note TEXT" \
  "INSERT INTO session_cache (session_key, session_value, expire_time)
   VALUES ('quote\" back\\ line' || char(10) || 'end', CAST(x'ff00c3a9e282ac' AS TEXT), 1000)"
expect 1 "^foreign key: core_recode row [0-9]+ names a start_recode row that does not exist" \
  check "$odd"
expect 1 "^schema: table message_collect_key differs from this library's" check "$odd"
expect 0 '"quote\\" back\\\\ line\\x0aend" = .*1000 ms, expired' show --reveal-secrets --now 1000 "$odd"
expect 0 '1000 ms, valid' show --now 999 "$odd"
json 0 show --json --reveal-secrets "$odd" -- 'd["session_cache"]["entries"][-1]["key"] == "quote\" back\\ line\nend" and
  d["session_cache"]["entries"][-1]["value"] == "\ufffd\x00\u00e9\u20ac"'
# The orphan is not listed; the record added after it is, under its start.
json 0 show --json "$odd" -- '[c["dump_file_path"] for s in d["start_records"]
  for c in s["core_records"]][1:] == ["late"]'
# A column named rowid: each record is still read by its own rowid.
named=$(copy named.db)
sql "$named" "ALTER TABLE instance_info ADD COLUMN rowid INTEGER DEFAULT 7" \
  "INSERT INTO instance_info (instance_no, session_id, business_type, protocol_type, start_recode_id,
   create_time) SELECT 'player-2', session_id, business_type, protocol_type, start_recode_id,
   create_time FROM instance_info"
json 0 show --json "$named" -- '[i["instance_no"] for i in d["start_records"][0]["instances"]] ==
  ["player-1", "player-2"]'
expect 0 "^Session cache: 3 entries" show "$odd"
json 1 check --json "$odd" -- 'not d["healthy"] and len(d["findings"]) == 2'

# --- not a database at all, and a store with a page overwritten
garbage=$work/garbage.db
head -c 8192 /dev/zero | tr '\0' 'x' >"$garbage"
broken=$(copy broken.db)
head -c 4096 /dev/zero | tr '\0' '\245' | dd of="$broken" bs=4096 seek=5 conv=notrunc 2>/dev/null
for file in "$garbage" "$broken"; do
  expect 2 "cannot read as a store" show "$file"
  expect 1 "^integrity: " check "$file"
  expect 1 "nothing done" purge "$file"
  for args in "2 show" "1 check" "1 purge"; do
    unchanged $args "$file"
  done
done
# Forced past the look, the library's own Init refuses it too.
expect 1 "nothing done, not even with --force" purge --force "$garbage"

# A damaged page that only the listing reaches, the first of a long value's
# overflow pages: what comes before it is printed, but the status tells that
# the listing is not whole, and the JSON is left unfinished.
overflow=$(copy overflow.db)
pages=$(($(stat -c %s "$overflow") / 4096))
sql "$overflow" "INSERT INTO session_cache (session_key, session_value, expire_time)
   VALUES ('long', hex(randomblob(8000)), 1)"
dd if=/dev/zero of="$overflow" bs=4096 seek="$pages" count=1 conv=notrunc 2>/dev/null
expect 2 "cannot read as a store: session_cache: database disk image is malformed" show "$overflow"
"$dbi" show --json "$overflow" >"$work/cut.json" 2>/dev/null
! python3 -c 'import json, sys; json.load(sys.stdin)' <"$work/cut.json" 2>/dev/null ||
  fail "dbi show --json $overflow: whole JSON of a listing cut short"

# --- a hostile file: terminal controls in a stored text and in a schema name,
# a trigger and a view that run inside whoever opens it, a hot journal, a
# relative name that looks like a URI, and an output that cannot be written.
# Nothing that dbi prints may carry a control or a bidirectional mark raw:
# clean STATUS ARGS...: dbi ARGS exits with STATUS and prints none. Its output
# is read from a file, as a $(...) would drop a NUL.
clean() {
  local status=$1 rc
  shift
  run_dbi "$@" >"$work/clean.out" 2>&1
  rc=$?
  [ "$rc" = "$status" ] || fail "dbi $*: exit $rc, wanted $status"
  python3 -c '
import sys
text = sys.stdin.buffer.read().decode("utf-8")  # invalid UTF-8 fails here
import unicodedata
bad = [c for c in text if c != "\n" and unicodedata.category(c) in ("Cc", "Cf", "Zl", "Zp")]
assert not bad, bad' <"$work/clean.out" || fail "dbi $*: printed a control raw"
}
mkdir -p "$work/hostile"
hostile=$(copy hostile/file:store.db)
# Controls, bytes of no UTF-8, a bidirectional mark and characters that
# show nothing (U+200B, U+FEFF, U+2028, U+00AD, U+E0001).
evil="char(27) || ']0;owned' || char(7) || char(27) || '[2J' ||
  CAST(x'9bc29be280aeffe2808befbbbfe280a8c2adf3a08081' AS TEXT)"
sql "$hostile" "INSERT INTO session_cache (session_key, session_value, expire_time)
   VALUES ('k', $evil, 1)" \
  "CREATE TRIGGER steal AFTER INSERT ON session_cache BEGIN
     UPDATE instance_info SET session_id = NEW.session_value; END" \
  "ALTER TABLE db_version RENAME TO old_version" \
  "CREATE VIEW db_version AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)
     SELECT i AS id, '1.13.0' AS version FROM n"
before=$failures
(cd "$work/hostile" || exit 1
  clean 0 show file:store.db; clean 1 check file:store.db
  clean 0 show --json file:store.db; clean 1 purge file:store.db
  expect 0 "^Warning: trigger 'steal' on 'session_cache'" show file:store.db
  [ "$failures" = "$before" ]) || failures=$((failures + 1))
json 0 show --json --reveal-secrets "$hostile" -- 'd["session_cache"]["entries"][-1]["value"] ==
  "\x1b]0;owned\x07\x1b[2J\ufffd\u009b\u202e\ufffd\u200b\ufeff\u2028\u00ad\U000e0001" and
  {(c["type"], c["name"], c["table"]) for c in d["triggers_and_views"]} ==
  {("trigger", "steal", "session_cache"), ("view", "db_version", "db_version")}'
expect 0 "^Warning: view 'db_version'" show "$hostile"
expect 1 "^schema: trigger 'steal' on 'session_cache'" check "$hostile"
expect 1 "^schema: view 'db_version'" check "$hostile"
expect 1 "2 triggers and views .*nothing done" purge "$hostile"
unchanged 1 purge "$hostile"
"$dbi" show "$hostile" >/dev/full 2>/dev/null
[ $? = 3 ] || fail "dbi show >/dev/full: not exit status 3"
"$dbi" check --json "$hostile" >/dev/full 2>/dev/null
[ $? = 3 ] || fail "dbi check --json >/dev/full: not exit status 3"

malformed=$(copy malformed.db)
sql "$malformed" "PRAGMA writable_schema = ON" \
  "INSERT INTO sqlite_master VALUES ('table', 'x' || $evil, 'x', 99, 'CREATE TABLE (')"
clean 2 show "$malformed"
clean 1 check "$malformed"

# --- crafted file sets: what SQLite looks for beside FILE (beside the file a
# link leads to) is never created, written or deleted by show, check or
# purge, and nothing blocks. The whole folder is compared before and after;
# each kind of set's decision is dbi_file_set_test.cc's.
listing() {
  (cd "$1" && find . -printf '%p %y %s %l\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
# crafted NAME FILE SHOW CHECK PURGE PATTERN [PURGE OPTION]: the statuses of
# the three commands on FILE (purge not run for "-": it writes a good file),
# PATTERN in what they print, and FILE's folder as it was.
crafted() {
  local name=$1 file=$2 statuses="$3 $4 $5" pattern=$6 out got=""
  listing "$(dirname "$file")" >"$work/listing"
  for command in show check "purge ${7:-}"; do
    if [ "$command" = "purge " ] && [ "$5" = - ]; then
      got+=" -"
      continue
    fi
    out+=$(bound=1 run_dbi $command "$file" 2>&1)
    got+="${got:+ }$?"
    out+=$'\n'
  done
  [ "$got" = "$statuses" ] || fail "$name: statuses $got, wanted $statuses"$'\n'"$out"
  grep -qE -- "$pattern" <<<"$out" || fail "$name: no /$pattern/ in"$'\n'"$out"
  listing "$(dirname "$file")" | cmp -s - "$work/listing" || fail "$name: the folder changed"
}
# live SOURCE DEST: DEST is SOURCE in WAL mode, copied with its -wal and -shm
# while a writer has it open, so the -wal holds a write the file does not.
live() {
  python3 - "$1" "$2" <<'PY'
import shutil, sqlite3, sys
shutil.copy(sys.argv[1], sys.argv[2] + ".tmp")
db = sqlite3.connect(sys.argv[2] + ".tmp")
db.execute("PRAGMA journal_mode = WAL")
db.execute("PRAGMA wal_autocheckpoint = 0")
db.execute("INSERT INTO session_cache (session_key, session_value, expire_time) VALUES ('wal', 'v', 1)")
db.commit()
for suffix in ("", "-wal", "-shm"):
    shutil.copy(sys.argv[2] + ".tmp" + suffix, sys.argv[2] + suffix)
PY
  rm -f "$2.tmp"
}
# A write cut off: the journal is copied while a transaction is open.
hot=$work/hot/hot.db
mkdir -p "$work/hot"
python3 - "$store" "$hot" <<'PY'
import shutil, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA cache_size = 1")
db.execute("BEGIN")
db.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 300) "
           "INSERT INTO session_cache (session_key, session_value, expire_time) "
           "SELECT 'hot' || i, randomblob(1000), 0 FROM n")
shutil.copy(sys.argv[1], sys.argv[2])
shutil.copy(sys.argv[1] + "-journal", sys.argv[2] + "-journal")
db.rollback()
PY
crafted "a hot journal" "$hot" 2 1 1 "hot journal.*roll that write back first; nothing done"
# The same, hidden: a header in WAL mode (with no -wal, SQLite would not look
# for a journal if told the file cannot change), and a journal that names
# another file as its super-journal, which a rollback deletes.
mkdir -p "$work/hidden"
hidden=$work/hidden/store.db
cp "$hot" "$hidden" && cp "$hot-journal" "$hidden-journal"
printf '\002\002' | dd of="$hidden" bs=1 seek=18 conv=notrunc 2>/dev/null
echo "not yours to delete" >"$work/hidden/victim"
# super JOURNAL FILE: JOURNAL names FILE as its super-journal.
super() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
name = sys.argv[2].encode()
with open(sys.argv[1], "ab") as journal:
    journal.write(struct.pack(">I", 1) + name + struct.pack(">II", len(name), sum(name)) +
                  bytes.fromhex("d9d505f920a163d7"))
PY
}
super "$hidden-journal" "$work/hidden/victim"
crafted "a hidden hot journal" "$hidden" 2 1 1 "^journal: it has a hot journal"
crafted "a super-journal" "$hidden" 2 1 1 "names a super-journal"
crafted "a super-journal, forced" "$hidden" 2 1 1 "nothing done, not even with --force" --force
mkdir -p "$work/wal"
live "$store" "$work/wal/live.db"
# SQLite opens a -wal whatever the header's read version (byte 19) says.
printf '\001' | dd of="$work/wal/live.db" bs=1 seek=19 conv=notrunc 2>/dev/null
crafted "a -wal read through its -shm" "$work/wal/live.db" 0 0 1 "a -wal is beside it"
expect 0 '"wal" = 1 bytes' show "$work/wal/live.db"
mkdir -p "$work/link/target"
live "$store" "$work/link/target/store.db" && rm "$work/link/target/store.db-shm"
ln -s target/store.db "$work/link/store.db"
crafted "a link with a -wal beside its target" "$work/link/store.db" 2 2 2 "no -shm file"
# A file in WAL mode that nothing has open: only the file, which is read as is.
sql "$work/link/target/store.db" "PRAGMA journal_mode = WAL"
crafted "a link to a closed file in WAL mode" "$work/link/store.db" 0 0 - '"wal" = 1 bytes'
# The header's read version (byte 19) says WAL mode, its write version not.
printf '\001' | dd of="$work/link/target/store.db" bs=1 seek=18 conv=notrunc 2>/dev/null
crafted "a file half in WAL mode" "$work/link/target/store.db" 0 0 - "healthy"
# A regular file by its name's kind whose reads wait for the next kernel
# message (show's and check's refusal: dbi_file_set_test.cc).
mkdir -p "$work/kernel" && ln -s /proc/kmsg "$work/kernel/store.db"
expect 2 "not a regular file" recover "$work/kernel/store.db" "$work/kernel/out.db"
# A table's b-tree 40,000 levels deep (20 MB): SQLite's own check descends
# it recursively, as far as the stack goes.
mkdir -p "$work/deep"
python3 - "$work/deep/store.db" 40000 <<'PY'
import sqlite3, struct, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA page_size = 512")
db.execute("CREATE TABLE t(x)")
db.commit()
pages = [open(sys.argv[1], "rb").read(512)]
for level in range(int(sys.argv[2])):
    interior = bytearray(512)
    struct.pack_into(">BHHHBI", interior, 0, 5, 0, 0, 512, 0, level + 3)  # no cells, a right child
    pages.append(bytes(interior))
pages.append(struct.pack(">BHHH", 13, 0, 0, 512).ljust(512, b"\0"))  # an empty leaf
data = bytearray(b"".join(pages))
struct.pack_into(">I", data, 28, len(pages))
open(sys.argv[1], "wb").write(data)
PY
crafted "a b-tree 40,000 levels deep" "$work/deep/store.db" 2 1 1 "deeper than 64 levels"
expect 1 "deeper than 64 levels" recover "$work/deep/store.db" "$work/deep/out.db"
# Files swapped for FIFOs between dbi's look and SQLite's open, and a
# journal naming a victim as its super-journal planted before purge's
# write: never a hang, never a deleted victim.
mkdir -p "$work/race"
race=$work/race/store.db
cp "$store" "$race.good" && mkfifo "$work/race/fifo"
swap() {
  while :; do
    cp "$race.good" "$race.new" && mv -f "$race.new" "$race" && ln "$work/race/fifo" "$race-journal"
    rm -f "$race-journal" && ln -f "$work/race/fifo" "$race-shm" && rm -f "$race-shm"
    ln -f "$work/race/fifo" "$race.new" && mv -f "$race.new" "$race"
  done
}
swap & swapper=$!
for i in $(seq 30); do
  for args in "show $race" "check $race" "recover $race $work/race/out$i.db"; do
    timeout 10 "$dbi" $args >/dev/null 2>&1
    status=$?
    [ "$status" -le 2 ] || fail "dbi $args on a file swapped for a FIFO: exit $status"
  done
done
kill "$swapper" && wait "$swapper" 2>/dev/null
cp "$hot" "$work/race/hot.db" && echo "not yours to delete" >"$work/race/victim"
cp "$hot-journal" "$work/race/journal" && super "$work/race/journal" "$work/race/victim"
plant() {
  while :; do
    cp "$work/race/journal" "$work/race/new" && mv -f "$work/race/new" "$work/race/hot.db-journal"
    rm -f "$work/race/hot.db-journal"
  done
}
plant & planter=$!
for i in $(seq 100); do
  timeout 10 "$dbi" purge --force "$work/race/hot.db" >/dev/null 2>&1
  status=$?
  [ "$status" -le 1 ] || fail "dbi purge --force beside a planted journal: exit $status"
done
kill "$planter" && wait "$planter" 2>/dev/null
[ -f "$work/race/victim" ] || fail "dbi purge deleted the file a planted journal names"
# 16 KB that would ask for 20 GB: a value computed on reading.
mkdir -p "$work/huge"
sql "$work/huge/store.db" "CREATE TABLE session_cache (id INTEGER PRIMARY KEY, session_key TEXT,
     session_value GENERATED ALWAYS AS (zeroblob(400000000)), expire_time INT)" \
  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 50)
     INSERT INTO session_cache (session_key, expire_time) SELECT i, 0 FROM n"
crafted "a huge computed value" "$work/huge/store.db" 2 1 1 "longer than the 16 MiB that dbi reads"
# 600 KB of schema: a CHECK 300,000 levels deep, which SQLite's parser
# would descend with no limit but the one dbi's copy sets.
mkdir -p "$work/expression"
craft deep "$store" "$work/expression/store.db" 300000
crafted "an expression 300,000 levels deep" "$work/expression/store.db" 2 1 1 \
  "Expression tree is too large \(maximum depth 1000\)"
bound=1 expect 1 "Expression tree is too large" recover "$work/expression/store.db" "$work/expression/out.db"
# A file whose one value is computed through 40 of 15 MB each: dbi's SQLite
# runs out of the heap it is given, long before the machine does.
mkdir -p "$work/chain"
craft chain "$store" "$work/chain/store.db" 40
crafted "a chain of computed values" "$work/chain/store.db" 2 1 1 "session_cache: out of memory"
# A file that a writer holds, with nothing beside it yet: read under the
# file's lock, so never half written.
python3 - "$store" "$dbi" <<'PY' || fail "dbi show read a file a writer holds"
import sqlite3, subprocess, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN EXCLUSIVE")
shown = subprocess.run([sys.argv[2], "show", sys.argv[1]], capture_output=True, text=True)
db.execute("ROLLBACK")
assert shown.returncode == 2 and "database is locked" in shown.stderr, shown
PY
# A reader that stops early: status 3, not death by SIGPIPE.
big=$(copy big.db)
sql "$big" "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 3000)
  INSERT INTO session_cache (session_key, session_value, expire_time) SELECT i, hex(zeroblob(50)), 0 FROM n"
"$dbi" show "$big" 2>/dev/null | head -c 1 >/dev/null
status=${PIPESTATUS[0]}
[ "$status" = 3 ] || fail "dbi show | head -c 1: exit $status, wanted 3"

# --- recover: a store with rows on many pages, damaged three ways. Which
# rows come back, and why others are left out, the salvage's own tests show;
# here each damage gives a sound, owner-only OUT holding the rows it counts,
# and leaves the file as it was.
many=$(copy many.db)
python3 - "$many" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA foreign_keys = ON")
for i in range(400):
    start = db.execute("INSERT INTO start_recode (sdk_version, sdk_type, start_time) VALUES (?, 'ios', ?)",
                       ("2.%d" % i, i)).lastrowid
    db.execute("INSERT INTO core_recode (dump_file_path, log_file_path, start_recode_id, create_time) "
               "VALUES (?, ?, ?, ?)", ("dump/%d" % i, "log/%d" % i, start, i))
    db.execute("INSERT INTO instance_info (instance_no, session_id, business_type, protocol_type, "
               "start_recode_id, create_time) VALUES (?, ?, ?, 'rtmp', ?, ?)", ("n%d" % i, "s%d" % i, i % 3, start, i))
    db.execute("INSERT INTO session_cache (session_key, session_value, expire_time) VALUES (?, ?, ?)",
               ("key%d" % i, "value%d" % i, 10 ** 12 + i))
db.commit()
PY
page_size=4096
start_leaf=$(python3 -c 'import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute(
  "SELECT min(pageno) FROM dbstat WHERE name = ? AND pagetype = ?", ("start_recode", "leaf")).fetchone()[0])' "$many")
zeroed=$work/zeroed.db
cp "$many" "$zeroed"
dd if=/dev/zero of="$zeroed" bs=$page_size seek=$((start_leaf - 1)) count=1 conv=notrunc 2>/dev/null
cut=$work/cut.db
head -c $((start_leaf * page_size)) "$many" >"$cut"
first=$work/first.db
cp "$many" "$first"
head -c $page_size /dev/zero | tr '\0' '\245' | dd of="$first" conv=notrunc 2>/dev/null
for damage in zeroed cut first; do
  file=$work/$damage.db
  cp "$file" "$work/before"
  missing=1 && [ "$damage" != first ] || missing=0
  expect $missing "^Salvaged .* rows written" recover "$file" "$file.out"
  "$dbi" recover --json "$file" "$file.json.out" >"$file.json"
  [ $? = $missing ] || fail "recover --json $damage"
  python3 - "$file.json" "$damage" <<'PY' || fail "recover --json $damage: its counts are not OUT's"
import json, sqlite3, sys
d = json.load(open(sys.argv[1]))
out = sqlite3.connect(d["output"])
held = sum(out.execute("SELECT count(*) FROM " + t["name"]).fetchone()[0] for t in d["tables"] if t["written"])
assert d["written"] and d["output"] == sys.argv[1] + ".out" and d["first_page"]["read"] == (sys.argv[2] != "first") and \
    d["rows_written"] == sum(t["written"] for t in d["tables"]) == held > 0 and \
    d["rows_left_out"] == len(d["left_out_rows"]) == sum(sum(t["left_out"].values()) for t in d["tables"]) and \
    (d["rows_left_out"] > 0) == (sys.argv[2] != "first"), {k: v for k, v in d.items() if k != "left_out_rows"}
PY
  expect 0 "healthy, schema version \"1.13.0\"; opening would change nothing" check "$file.out"
  cmp -s "$file" "$work/before" || fail "recover $damage changed the file"
  [ "$(stat -c %a "$file.out")" = 600 ] || fail "recover $damage: OUT is not owner-only"
done
[ -z "$(ls "$work" | grep -e out-journal -e dbi-partial)" ] || fail "recover left files behind: $(ls "$work")"
expect 0 "First page: unusable \(file is not a database\); read through a new store's first page" \
  recover "$first" "$work/again.out"
expect 1 "core_recode: [0-9]+ found, [0-9]+ written, [0-9]+ left out \([0-9]+ orphan\)" \
  recover "$zeroed" "$work/orphans.out"
cp "$store" "$work/taken.out"
expect 1 "already exists; nothing done" recover "$zeroed" "$work/taken.out"
cmp -s "$store" "$work/taken.out" || fail "recover overwrote an existing OUT"
expect 1 "nothing could be salvaged" recover "$garbage" "$work/garbage.out"
[ ! -e "$work/garbage.out" ] || fail "a failed recover left its OUT"

# Crafted files (see craft) salvaged around what is crafted, or refused with
# the reason, within the ceiling; a salvage is a sound store, and nothing
# else is left in the folder. NAME|STATUS|PATTERN|KIND AND ITS NUMBERS
mkdir -p "$work/crafted"
while IFS='|' read -r name status pattern kind; do
  file=$work/crafted/$name.db
  if [ "$kind" = sparse ]; then
    truncate -s 1G "$file"
  else
    read -ra recipe <<<"$kind"
    craft "${recipe[0]}" "$store" "$file" "${recipe[@]:1}"
  fi
  listing "$work/crafted" >"$work/listing"
  bound=1 expect "$status" "$pattern" recover "$file" "$work/crafted/out.db"
  if [ -e "$work/crafted/out.db" ]; then
    expect 0 "healthy" check "$work/crafted/out.db"
    rm -f "$work/crafted/out.db"
  fi
  listing "$work/crafted" | cmp -s - "$work/listing" || fail "recover $name: the folder changed"
  rm -f "$file"
done <<'ROWS'
claim-4g|1|^Salvaged .*: 6 rows written, 0 rows left out|payload 1 4294967295
claims-2g-looped|1|^Salvaged .*: 6 rows written, 0 rows left out|payload 8 2147483648
random|1|lost_and_found: [0-9]+ found, 0 written|random 2097152
wide|1|lost_and_found: [0-9]+ found, 0 written, [0-9]+ left out|wide 20 1990
sparse|2|has 1073741824 bytes, more than the 128 MiB that dbi reads|sparse
ROWS

# Ended while OUT is written: SIGXFSZ, from a file-size limit, comes while
# the temporary is there; SIGTERM and SIGKILL at moments spread over a run.
# Nothing may be left but an OUT that was complete.
mkdir -p "$work/signal"
(ulimit -f 8 && exec "$dbi" recover "$many" "$work/signal/out.db") >/dev/null 2>&1
[ $? -gt 128 ] || fail "recover under a file-size limit was not ended by SIGXFSZ"
[ -z "$(ls -A "$work/signal")" ] || fail "recover ended by SIGXFSZ left $(ls -A "$work/signal")"
for signal in TERM KILL; do
  for delay in 0.01 0.03 0.06 0.1 0.15 0.2 0.3; do
    "$dbi" recover "$many" "$work/signal/out.db" >/dev/null 2>&1 &
    sleep "$delay"
    kill -s "$signal" $! 2>/dev/null
    wait $!
    # A signal that lands after OUT was linked into place finds it complete.
    if [ -e "$work/signal/out.db" ]; then
      "$dbi" check "$work/signal/out.db" >/dev/null 2>&1 || fail "recover ended by SIG$signal left a partial OUT"
      rm "$work/signal/out.db"
    fi
    [ -z "$(ls -A "$work/signal")" ] || fail "recover ended by SIG$signal left $(ls -A "$work/signal")"
    rm -f "$work/signal/"*
  done
done

[ "$failures" = 0 ] && echo "dbi: all checks passed"
exit $((failures != 0))
