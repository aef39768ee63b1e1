#include "workloads.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include "files/open_flags.h"
#include "fsync_block.h"
#include "schema/schema.h"

namespace dbi_bench {

namespace {

namespace dbi = database_interface;
using dbi::CoreRecode;
using dbi::InstanceInfo;
using WrapperStmt = std::shared_ptr<SQLite::Statement>;
using Make = std::vector<Way> (*)(Stores&);

// Strings, because SQLiteCpp binds them without a copy only as strings; a
// failing allocation while the benchmark loads is fatal to it either way.
// NOLINTBEGIN(cert-err58-cpp)
const std::string kSdkVersion = "3.12.7";
const std::string kSdkType = "android";
const std::string kSessionValue = "tok-3c9d2e71f0a84b56e1d7";
// NOLINTEND(cert-err58-cpp)
constexpr int64_t kLater = kNow + int64_t{7200} * 1000;

int Length(const std::string& text) {
  return static_cast<int>(text.size());
}

const char* Text(sqlite3_stmt* stmt, int column) {
  return reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
}

// The floor's statement and SQLiteCpp's cached statement for one operation.
struct Prepared {
  Prepared(Stores& stores, RecordStmt which)
      : floor(std::make_shared<FloorStmt>(stores.floor, which)),
        wrapper(std::make_shared<SQLite::Statement>(*stores.wrapper, Sql(which))) {}
  std::shared_ptr<FloorStmt> floor;
  WrapperStmt wrapper;
};

// The library's per-call bookkeeping without the library: the call is
// counted in, the state tested and the call counted out, on one cache line
// that every thread writes.
template <typename Call>
auto Counted(CallCounter& counter, Call call) {
  return [&counter, call](int64_t i) mutable {
    if (counter.Enter()) {
      call(i);
    }
    counter.Leave();
  };
}

// A read's ways: the three that are compared, and the floor again with the
// library's call counter, which the threaded workloads report.
template <typename Library, typename Floor, typename Wrapper>
std::vector<Way> ReadWays(Stores& stores, Library library, Floor floor, Wrapper wrapper) {
  return {{"library", Timed(library)},
          {"floor", Timed(floor)},
          {"SQLiteCpp", Timed(wrapper)},
          {"floor+counter", Timed(Counted(stores.counter, floor))}};
}

std::vector<Way> SelectSessionCache(Stores& stores, const std::string& (*key_of)(int64_t),
                                    int rows) {
  const Prepared prepared(stores, dbi::kSelectSessionCache);
  return ReadWays(
      stores,
      [db = stores.library, key_of, rows, value = std::string()](int64_t i) mutable {
        Expect(db->SelectSessionCache(key_of(i).c_str(), kNow, value) == rows, "library");
      },
      [stmt = prepared.floor, key_of, rows, value = std::string()](int64_t i) mutable {
        sqlite3_stmt* s = stmt->get();
        const std::string& key = key_of(i);
        sqlite3_bind_text(s, 1, key.data(), Length(key), SQLITE_STATIC);
        sqlite3_bind_int64(s, 2, kNow);
        int found = 0;
        int rc = sqlite3_step(s);
        for (; rc == SQLITE_ROW; rc = sqlite3_step(s)) {
          value.assign(Text(s, 0));
          ++found;
        }
        sqlite3_reset(s);
        Expect(rc == SQLITE_DONE && found == rows, "floor");
      },
      [stmt = prepared.wrapper, key_of, rows, value = std::string()](int64_t i) mutable {
        stmt->bindNoCopy(":session_key", key_of(i));
        stmt->bind(":expire_time", kNow);
        int found = 0;
        while (stmt->executeStep()) {
          value = stmt->getColumn(0).getText();
          ++found;
        }
        stmt->reset();
        Expect(found == rows, "SQLiteCpp");
      });
}

std::vector<Way> SelectSessionCacheHit(Stores& stores) {
  return SelectSessionCache(stores, SessionKey, 1);
}

std::vector<Way> SelectSessionCacheMiss(Stores& stores) {
  return SelectSessionCache(stores, MissingKey, 0);
}

// The outputs of one start record: written by the reads, read by nobody.
struct StartOut {
  // cppcheck-suppress unusedStructMember
  std::string version;
  // cppcheck-suppress unusedStructMember
  std::string type;
  int64_t time = 0;
};

std::vector<Way> SelectStartRecode(Stores& stores) {
  const Prepared prepared(stores, dbi::kSelectStartRecode);
  return ReadWays(
      stores,
      [db = stores.library, out = StartOut()](int64_t i) mutable {
        Expect(db->SelectStartRecode(StartId(i), out.version, out.type, out.time) == 1, "library");
      },
      [stmt = prepared.floor, out = StartOut()](int64_t i) mutable {
        sqlite3_stmt* s = stmt->get();
        sqlite3_bind_int(s, 1, StartId(i));
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
          out.version.assign(Text(s, 0));
          out.type.assign(Text(s, 1));
          out.time = sqlite3_column_int64(s, 2);
        }
        sqlite3_reset(s);
        Expect(rc == SQLITE_ROW, "floor");
      },
      [stmt = prepared.wrapper, out = StartOut()](int64_t i) mutable {
        stmt->bind(":id", StartId(i));
        const bool found = stmt->executeStep();
        if (found) {
          out.version = stmt->getColumn(0).getText();
          out.type = stmt->getColumn(1).getText();
          out.time = stmt->getColumn(2).getInt64();
        }
        stmt->reset();
        Expect(found, "SQLiteCpp");
      });
}

std::vector<Way> SelectAllCoreRecode(Stores& stores) {
  const Prepared prepared(stores, dbi::kSelectAllCoreRecode);
  return ReadWays(
      stores,
      [db = stores.library, records = std::vector<CoreRecode>()](int64_t) mutable {
        records.clear();
        Expect(db->SelectAllCoreRecode(records) == kCoreRecodes, "library");
      },
      [stmt = prepared.floor, records = std::vector<CoreRecode>()](int64_t) mutable {
        sqlite3_stmt* s = stmt->get();
        records.clear();
        int rc = sqlite3_step(s);
        for (; rc == SQLITE_ROW; rc = sqlite3_step(s)) {
          CoreRecode& record = records.emplace_back();
          record.id = sqlite3_column_int(s, 0);
          record.dump_file_path.assign(Text(s, 1));
          record.log_file_path.assign(Text(s, 2));
          record.start_recode_id = sqlite3_column_int(s, 3);
          record.create_time = sqlite3_column_int64(s, 4);
        }
        sqlite3_reset(s);
        Expect(rc == SQLITE_DONE && records.size() == static_cast<size_t>(kCoreRecodes), "floor");
      },
      [stmt = prepared.wrapper, records = std::vector<CoreRecode>()](int64_t) mutable {
        records.clear();
        while (stmt->executeStep()) {
          CoreRecode& record = records.emplace_back();
          record.id = stmt->getColumn(0).getInt();
          record.dump_file_path = stmt->getColumn(1).getText();
          record.log_file_path = stmt->getColumn(2).getText();
          record.start_recode_id = stmt->getColumn(3).getInt();
          record.create_time = stmt->getColumn(4).getInt64();
        }
        stmt->reset();
        Expect(records.size() == static_cast<size_t>(kCoreRecodes), "SQLiteCpp");
      });
}

std::vector<Way> SelectInstanceInfoWithStartRecodeId(Stores& stores) {
  const Prepared prepared(stores, dbi::kSelectInstanceInfoWithStartRecodeId);
  constexpr int32_t kStart = 1;
  return ReadWays(
      stores,
      [db = stores.library, infos = std::vector<InstanceInfo>()](int64_t) mutable {
        infos.clear();
        Expect(db->SelectInstanceInfoWithStartRecodeId(kStart, infos) == kInstanceInfos, "library");
      },
      [stmt = prepared.floor, infos = std::vector<InstanceInfo>()](int64_t) mutable {
        sqlite3_stmt* s = stmt->get();
        infos.clear();
        sqlite3_bind_int(s, 1, kStart);
        int rc = sqlite3_step(s);
        for (; rc == SQLITE_ROW; rc = sqlite3_step(s)) {
          InstanceInfo& info = infos.emplace_back();
          info.id = sqlite3_column_int(s, 0);
          info.instance_no.assign(Text(s, 1));
          info.session_id.assign(Text(s, 2));
          info.business_type = sqlite3_column_int(s, 3);
          info.protocol_type.assign(Text(s, 4));
          info.start_recode_id = sqlite3_column_int(s, 5);
          info.create_time = sqlite3_column_int64(s, 6);
        }
        sqlite3_reset(s);
        Expect(rc == SQLITE_DONE && infos.size() == static_cast<size_t>(kInstanceInfos), "floor");
      },
      [stmt = prepared.wrapper, infos = std::vector<InstanceInfo>()](int64_t) mutable {
        infos.clear();
        stmt->bind(":start_recode_id", kStart);
        while (stmt->executeStep()) {
          InstanceInfo& info = infos.emplace_back();
          info.id = stmt->getColumn(0).getInt();
          info.instance_no = stmt->getColumn(1).getText();
          info.session_id = stmt->getColumn(2).getText();
          info.business_type = stmt->getColumn(3).getInt();
          info.protocol_type = stmt->getColumn(4).getText();
          info.start_recode_id = stmt->getColumn(5).getInt();
          info.create_time = stmt->getColumn(6).getInt64();
        }
        stmt->reset();
        Expect(infos.size() == static_cast<size_t>(kInstanceInfos), "SQLiteCpp");
      });
}

// A write's ways. `floor_on(stmt)` is the floor's call on a statement, run
// on the floor's connection and, on disk, again on one with
// synchronous=EXTRA; on disk, one fsync of the same folder beside them.
template <typename Library, typename FloorOn, typename Wrapper>
std::vector<Way> WriteWays(Stores& stores, RecordStmt which, Library library, FloorOn floor_on,
                           Wrapper wrapper) {
  std::vector<Way> ways = {
      {"library", Timed(library)},
      {"floor", Timed(floor_on(std::make_shared<FloorStmt>(stores.floor, which)))},
      {"SQLiteCpp", Timed(wrapper)}};
  if (stores.on_disk) {
    ways.push_back(
        {"floor EXTRA", Timed(floor_on(std::make_shared<FloorStmt>(stores.floor_extra, which)))});
    ways.push_back({"fsync", FsyncBlock(stores.folder)});
  }
  return ways;
}

// Every call replaces an entry that is there.
std::vector<Way> InsertSessionCache(Stores& stores) {
  const WrapperStmt wrapper =
      std::make_shared<SQLite::Statement>(*stores.wrapper, Sql(dbi::kInsertSessionCache));
  return WriteWays(
      stores, dbi::kInsertSessionCache,
      [db = stores.library](int64_t i) {
        Expect(db->InsertSessionCache(SessionKey(i).c_str(), kSessionValue.c_str(), kLater) == 0,
               "library");
      },
      [](const std::shared_ptr<FloorStmt>& stmt) {
        return [stmt](int64_t i) {
          sqlite3_stmt* s = stmt->get();
          const std::string& key = SessionKey(i);
          sqlite3_bind_text(s, 1, key.data(), Length(key), SQLITE_STATIC);
          sqlite3_bind_text(s, 2, kSessionValue.data(), Length(kSessionValue), SQLITE_STATIC);
          sqlite3_bind_int64(s, 3, kLater);
          const int rc = sqlite3_step(s);
          sqlite3_reset(s);
          Expect(rc == SQLITE_DONE, "floor");
        };
      },
      [stmt = wrapper](int64_t i) {
        stmt->bindNoCopy(":session_key", SessionKey(i));
        stmt->bindNoCopy(":session_value", kSessionValue);
        stmt->bind(":expire_time", kLater);
        stmt->exec();
        stmt->reset();
      });
}

// Every way steps its insert to the end, as the library does, so that the
// commit is part of the call.
std::vector<Way> InsertStartRecode(Stores& stores) {
  const WrapperStmt wrapper =
      std::make_shared<SQLite::Statement>(*stores.wrapper, Sql(dbi::kInsertStartRecode));
  return WriteWays(
      stores, dbi::kInsertStartRecode,
      [db = stores.library](int64_t i) {
        int32_t id = 0;
        Expect(db->InsertStartRecode(id, kSdkVersion.data(), Length(kSdkVersion), kSdkType.data(),
                                     Length(kSdkType), kNow + i) == 1,
               "library");
      },
      [](const std::shared_ptr<FloorStmt>& stmt) {
        return [stmt](int64_t i) {
          sqlite3_stmt* s = stmt->get();
          sqlite3_bind_text(s, 1, kSdkVersion.data(), Length(kSdkVersion), SQLITE_STATIC);
          sqlite3_bind_text(s, 2, kSdkType.data(), Length(kSdkType), SQLITE_STATIC);
          sqlite3_bind_int64(s, 3, kNow + i);
          const int first = sqlite3_step(s);
          const int32_t id = first == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
          const int second = sqlite3_step(s);
          sqlite3_reset(s);
          Expect(first == SQLITE_ROW && second == SQLITE_DONE && id > 0, "floor");
        };
      },
      [stmt = wrapper](int64_t i) {
        stmt->bindNoCopy(":sdk_version", kSdkVersion);
        stmt->bindNoCopy(":sdk_type", kSdkType);
        stmt->bind(":start_time", kNow + i);
        const bool returned = stmt->executeStep();
        const int32_t id = returned ? stmt->getColumn(0).getInt() : 0;
        const bool more = stmt->executeStep();
        stmt->reset();
        Expect(returned && !more && id > 0, "SQLiteCpp");
      });
}

// The statement texts Init prepares, in its order: the version statements,
// then the record statements.
std::vector<const char*> InitsStatements() {
  std::vector<const char*> texts;
  const auto sql = [](const dbi::StmtInfo& info) { return info.sql; };
  std::transform(std::begin(dbi::kVersionStmts), std::end(dbi::kVersionStmts),
                 std::back_inserter(texts), sql);
  std::transform(std::begin(dbi::kRecordStmts), std::end(dbi::kRecordStmts),
                 std::back_inserter(texts), sql);
  return texts;
}

// Init's work done on the C API: the open, the table texts, the version
// statements with the version read, the record statements, then the close.
bool OpenByHand(const std::string& path) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, dbi::kOpenFlags, nullptr) == SQLITE_OK;
  for (const char* ddl : dbi::kDdl) {
    ok = ok && sqlite3_exec(db, ddl, nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  std::vector<sqlite3_stmt*> stmts;
  for (const char* sql : InitsStatements()) {
    sqlite3_stmt* stmt = nullptr;
    // The text's length without its NUL, as the library is bound to pass
    // it: SQLite then copies each text, in both ways.
    const int length = static_cast<int>(std::strlen(sql));
    ok = ok && sqlite3_prepare_v2(db, sql, length, &stmt, nullptr) == SQLITE_OK;
    stmts.push_back(stmt);
    if (stmts.size() == dbi::kVersionStmtCount) {
      ok = ok && sqlite3_step(stmts[0]) == SQLITE_ROW && Text(stmts[0], 1) != nullptr;
      sqlite3_reset(stmts[0]);
    }
  }
  for (sqlite3_stmt* stmt : stmts) {
    sqlite3_finalize(stmt);
  }
  return sqlite3_close(db) == SQLITE_OK && ok;
}

bool OpenThroughSqliteCpp(const std::string& path) {
  SQLite::Database db(path, dbi::kOpenFlags);
  for (const char* ddl : dbi::kDdl) {
    db.exec(ddl);
  }
  std::vector<std::unique_ptr<SQLite::Statement>> stmts;
  bool ok = true;
  for (const char* sql : InitsStatements()) {
    stmts.push_back(std::make_unique<SQLite::Statement>(db, sql));
    if (stmts.size() == dbi::kVersionStmtCount) {
      ok = stmts[0]->executeStep() && !stmts[0]->getColumn(1).getString().empty();
      stmts[0]->reset();
    }
  }
  return ok;
}

// Opening an existing store and closing it again: the library's Init and
// Close beside the same work done by hand.
std::vector<Way> InitAndClose(Stores& stores) {
  const std::string path = sqlite3_db_filename(stores.floor, "main");
  return {
      {"library", Timed([db = IDatabaseInterface::CreateDatabaseInterface(), path](int64_t) {
         Expect(db->Init(path.c_str()) == 0, "library");
         db->Close();
       })},
      {"floor", Timed([path](int64_t) { Expect(OpenByHand(path), "floor"); })},
      {"SQLiteCpp", Timed([path](int64_t) { Expect(OpenThroughSqliteCpp(path), "SQLiteCpp"); })}};
}

// Thread t runs the t-th of `calls` on one shared set of connections; each
// thread gets the same planned time, so a slow call makes fewer calls. Only
// the ways that every call has are run.
std::vector<Way> CallsOnThreads(Stores& stores, const std::vector<Make>& calls) {
  std::vector<std::vector<Way>> ways_of_call;
  ways_of_call.reserve(calls.size());
  size_t ways = SIZE_MAX;
  for (const Make make : calls) {
    ways_of_call.push_back(make(stores));
    ways = std::min(ways, ways_of_call.back().size());
  }
  std::vector<double> ns_per_call;
  ns_per_call.reserve(calls.size());
  std::transform(ways_of_call.begin(), ways_of_call.end(), std::back_inserter(ns_per_call),
                 [](const std::vector<Way>& of_call) { return NsPerCall(of_call[1].block); });
  std::vector<Way> threaded;
  for (size_t way = 0; way < ways; ++way) {
    std::vector<Block> per_thread;
    per_thread.reserve(calls.size());
    std::transform(ways_of_call.begin(), ways_of_call.end(), std::back_inserter(per_thread),
                   [way](const std::vector<Way>& of_call) { return of_call[way].block; });
    threaded.push_back({ways_of_call[0][way].name, OnThreads(per_thread, ns_per_call)});
  }
  return threaded;
}

// Single-threaded reads compare the three ways only.
std::function<std::vector<Way>(Stores&)> ThreeWays(Make make) {
  return [make](Stores& stores) {
    std::vector<Way> ways = make(stores);
    ways.resize(3);
    return ways;
  };
}

// The first `threads` reads, one on each thread.
std::function<std::vector<Way>(Stores&)> ReadsOnThreads(size_t threads) {
  return [threads](Stores& stores) {
    std::vector<Make> reads = {SelectSessionCacheHit, SelectStartRecode,
                               SelectInstanceInfoWithStartRecodeId, SelectAllCoreRecode};
    reads.resize(threads);
    return CallsOnThreads(stores, reads);
  };
}

// Reads beside writes on one store: what calls taking turns cost them.
std::vector<Way> ReadsAndWritesOnThreads(Stores& stores) {
  return CallsOnThreads(stores, {SelectSessionCacheHit, InsertSessionCache, SelectStartRecode,
                                 InsertStartRecode, SelectInstanceInfoWithStartRecodeId});
}

}  // namespace

const std::vector<Workload>& Workloads() {
  // Blocks of a few milliseconds: short enough that neighbouring blocks see
  // the same machine, long enough that timing them costs nothing. A disk
  // commit takes milliseconds by itself. A call that only computes is timed
  // on its thread's CPU clock; a commit waits for the disk and threads wait
  // for each other, which only the wall clock sees.
  constexpr Plan kCalls{Clock::kThreadCpu, 2, 30, 5};
  constexpr Plan kLongCalls{Clock::kThreadCpu, 4, 30, 5};
  constexpr Plan kCommits{Clock::kWall, 30, 40, 5};
  constexpr Plan kThreads{Clock::kWall, 5, 30, 7};
  constexpr Plan kOpenings{Clock::kWall, 20, 30, 5};
  static const std::vector<Workload> workloads = {
      {"SelectSessionCache hit", Medium::kMemory, ThreeWays(SelectSessionCacheHit), kCalls, 2000},
      {"SelectSessionCache miss", Medium::kMemory, ThreeWays(SelectSessionCacheMiss), kCalls, 2000},
      {"SelectStartRecode", Medium::kMemory, ThreeWays(SelectStartRecode), kCalls, 2000},
      {"SelectAllCoreRecode (1000 rows)", Medium::kMemory, ThreeWays(SelectAllCoreRecode),
       kLongCalls, 20},
      {"SelectInstanceInfoWithStartRecodeId (100 rows)", Medium::kMemory,
       ThreeWays(SelectInstanceInfoWithStartRecodeId), kCalls, 200},
      {"InsertSessionCache replace, /dev/shm", Medium::kMemory, InsertSessionCache, kCalls, 0},
      {"InsertStartRecode, /dev/shm", Medium::kMemory, InsertStartRecode, kCalls, 0},
      {"InsertSessionCache replace, disk", Medium::kDisk, InsertSessionCache, kCommits, 0},
      {"InsertStartRecode, disk", Medium::kDisk, InsertStartRecode, kCommits, 0},
      {"Init and Close, existing store", Medium::kMemory, InitAndClose, kOpenings, 0},
      {"Reads on 1 thread", Medium::kMemory, ReadsOnThreads(1), kThreads, 0},
      {"Reads on 2 threads", Medium::kMemory, ReadsOnThreads(2), kThreads, 0},
      {"Reads on 4 threads", Medium::kMemory, ReadsOnThreads(4), kThreads, 0},
      {"Reads and writes on 5 threads", Medium::kMemory, ReadsAndWritesOnThreads, kThreads, 0},
  };
  return workloads;
}

}  // namespace dbi_bench
