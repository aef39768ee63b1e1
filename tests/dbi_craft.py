# dbi_craft.py KIND STORE OUT [N...]: OUT is a file crafted from the store
# file STORE (4096-byte pages) to make a reader work, allocate or print
# without end, from a few pages:
#   shared TABLE FANOUT LEVELS  TABLE's rows on one leaf under LEVELS interior
#                               pages, each naming the page below FANOUT times
#   computed N      N rows whose value is computed on reading: 16 MB of ESC each
#   doubling N L    N rows whose value is computed through L columns, each twice the one before
#   wide N M        N pages of rows in no table: one of M fields, then one-field ones
#   payload N M     a page of N cells claiming M bytes through a looping chain
#   chain N         a b-tree N interior pages deep, on 512-byte pages
#   tables N        N empty tables
# and files beside a store: hot, a write cut off (the journal copied while a
# transaction is open), and live, a -wal and -shm copied while a writer has
# the file open in WAL mode.
import shutil, sqlite3, struct, sys

kind, source, out = sys.argv[1:4]
args = sys.argv[4:]
data = bytearray(open(source, "rb").read())
size = 4096


def varint(v):
    b = [v & 0x7F]
    while v > 0x7F:
        v >>= 7
        b.append(0x80 | (v & 0x7F))
    return bytes(reversed(b))


def record(types, body=b""):
    return varint(len(types) + 1) + bytes(types) + body


def page(kind, cells, right=None, page_size=size):
    p = bytearray(page_size)
    head, end = (12 if right is not None else 8), page_size
    for i, cell in enumerate(cells):
        end -= len(cell)
        p[end : end + len(cell)] = cell
        struct.pack_into(">H", p, head + 2 * i, end)
    struct.pack_into(">BHHHB", p, 0, kind, 0, len(cells), end % 65536, 0)
    if right is not None:
        struct.pack_into(">I", p, 8, right)
    return bytes(p)


def append(pages):
    for p in pages:
        data.extend(p)
    struct.pack_into(">I", data, 28, len(data) // size)


def sql(statements, file=out):
    db = sqlite3.connect(file, isolation_level=None)  # BEGIN and COMMIT as given
    for statement in statements:
        db.execute(statement)
    return db


if kind == "shared":
    table, fanout, levels = args[0], int(args[1]), int(args[2])
    first = len(data) // size + 1
    open(out, "wb").write(data)
    sql(["PRAGMA writable_schema = ON",
         "UPDATE sqlite_master SET rootpage = %d WHERE name = '%s'" % (first + levels, table)])
    data = bytearray(open(out, "rb").read())
    leaf = page(0x0D, [varint(3) + varint(i) + record([1], b"\1") for i in range(1, 21)])
    append([leaf] + [page(0x05, [struct.pack(">I", first + l) + varint(20)] * fanout, first + l)
                     for l in range(levels)])
elif kind == "wide":
    wide, cell = record([0] * int(args[1])), varint(2) + varint(1) + record([0])
    append([page(0x0D, [varint(len(wide)) + varint(1) + wide])] +
           [page(0x0D, [cell] * ((size - 8) // (len(cell) + 2)))] * (int(args[0]) - 1))
elif kind == "payload":
    least = (size - 12) * 32 // 255 - 23
    claim = int(args[1]) - (int(args[1]) - least) % (size - 4)
    local = record([1], b"\1").ljust(least, b"\0")
    nxt = struct.pack(">I", len(data) // size + 1)
    append([page(0x0D, [varint(claim) + varint(1) + local + nxt] * int(args[0]))])
if kind in ("shared", "wide", "payload"):
    open(out, "wb").write(data)
elif kind in ("computed", "doubling"):
    levels = int(args[1]) if kind == "doubling" else 0
    columns = "".join("g%d AS (g%d + g%d), " % (l, l - 1, l - 1) for l in range(1, levels + 1))
    value = "g%d" % levels if levels else "replace(zeroblob(16000000), x'00', char(27))"
    sql(["CREATE TABLE session_cache (id INTEGER PRIMARY KEY, session_key TEXT, g0 AS (id), %s"
         "session_value AS (%s) VIRTUAL, expire_time INT)" % (columns, value),
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT %s) "
         "INSERT INTO session_cache (session_key, expire_time) SELECT i, 0 FROM n" % args[0]])
elif kind == "chain":
    sql(["PRAGMA page_size = 512", "CREATE TABLE t(x)"])
    pages = [open(out, "rb").read(512)] + [page(0x05, [], level + 3, 512) for level in range(int(args[0]))]
    pages.append(page(0x0D, [], None, 512))
    chain = bytearray(b"".join(pages))
    struct.pack_into(">I", chain, 28, len(pages))
    open(out, "wb").write(chain)
elif kind == "tables":
    sql(["PRAGMA page_size = 512", "BEGIN"] + ["CREATE TABLE t%d(x)" % i for i in range(int(args[0]))] +
        ["COMMIT"])
elif kind == "hot":
    db = sqlite3.connect(source)
    db.execute("PRAGMA cache_size = 1")
    db.execute("BEGIN")
    db.executemany("INSERT INTO session_cache (session_key, session_value, expire_time) "
                   "VALUES (?, randomblob(1000), 0)", [("hot%d" % i,) for i in range(300)])
    for suffix in ("", "-journal"):
        shutil.copy(source + suffix, out + suffix)
    db.rollback()
elif kind == "live":
    shutil.copy(source, out + ".tmp")
    db = sql(["PRAGMA journal_mode = WAL", "PRAGMA wal_autocheckpoint = 0",
         "INSERT INTO session_cache (session_key, session_value, expire_time) VALUES ('wal', 'v', 1)"],
        out + ".tmp")
    for suffix in ("", "-wal", "-shm"):
        shutil.copy(out + ".tmp" + suffix, out + suffix)
