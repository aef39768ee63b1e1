#include "reading/store_rows.h"

#include <algorithm>

#include "limits/work_budget.h"

namespace dbi {

using database_interface::CoreRecode;
using database_interface::InstanceInfo;

std::string Text(sqlite3_stmt* stmt, int column) {
  const auto* text = static_cast<const char*>(sqlite3_column_blob(stmt, column));
  const int bytes = sqlite3_column_bytes(stmt, column);
  return text == nullptr ? std::string() : std::string(text, static_cast<size_t>(bytes));
}

std::string ReadFailure(sqlite3* db, int rc) {
  if (rc == SQLITE_INTERRUPT && WorkBudgetSpent()) {
    return kWorkBudgetSpent;
  }
  if (rc == SQLITE_TOOBIG) {
    return "it holds a value longer than the " + std::to_string(kLongestValue >> 20) +
           " MiB that dbi reads";
  }
  return sqlite3_errmsg(db);
}

void StoreRows::Children::Select(int32_t start_id) {
  const auto range = std::equal_range(
      keys.begin(), keys.end(), ChildKey{start_id, 0, 0},
      [](const ChildKey& a, const ChildKey& b) { return a.start_id < b.start_id; });
  next = static_cast<size_t>(range.first - keys.begin());
  end = static_cast<size_t>(range.second - keys.begin());
}

bool StoreRows::Step(Statement& list, const char* table) {
  if (list == nullptr || failed()) {
    return false;
  }
  const int rc = sqlite3_step(list.get());
  if (rc == SQLITE_ROW) {
    return true;
  }
  if (rc != SQLITE_DONE) {
    error_ = std::string(table) + ": " + ReadFailure(sqlite3_db_handle(list.get()), rc);
  }
  list.reset();
  return false;
}

sqlite3_stmt* StoreRows::NextChild(Children& children) {
  if (failed() || children.next == children.end) {
    return nullptr;
  }
  sqlite3_stmt* read = children.read.get();
  (void)sqlite3_reset(read);
  (void)sqlite3_bind_int64(read, 1, children.keys[children.next++].rowid);
  const int rc = sqlite3_step(read);
  if (rc == SQLITE_ROW) {
    return read;
  }
  // Within one read transaction, only a damaged table loses a record
  // between its key's read and its own.
  error_ = std::string(children.table) + ": " +
           (rc == SQLITE_DONE ? "a record found in the table cannot be read by its rowid"
                              : ReadFailure(sqlite3_db_handle(read), rc));
  return nullptr;
}

bool StoreRows::NextStart(StartRecord& start) {
  cores_.next = cores_.end;
  instances_.next = instances_.end;
  if (!Step(starts_, StartTable())) {
    return false;
  }
  sqlite3_stmt* row = starts_.get();
  start = {Int(row, 0), Text(row, 1), Text(row, 2), Int64(row, 3)};
  // An id not above all those before it is one seen again (an id beyond 32
  // bits cut to them, or a table of another layout with ids that repeat):
  // the records of that id went to the first start that had it.
  if (!highest_start_id_ || start.id > *highest_start_id_) {
    highest_start_id_ = start.id;
    cores_.Select(start.id);
    instances_.Select(start.id);
  }
  return true;
}

bool StoreRows::NextCore(CoreRecode& core) {
  sqlite3_stmt* row = NextChild(cores_);
  if (row == nullptr) {
    return false;
  }
  core = {Int(row, 0), Text(row, 1), Text(row, 2), Int(row, 3), Int64(row, 4)};
  return true;
}

bool StoreRows::NextInstance(InstanceInfo& info) {
  sqlite3_stmt* row = NextChild(instances_);
  if (row == nullptr) {
    return false;
  }
  info = {Int(row, 0),  Text(row, 1), Text(row, 2), Int(row, 3),
          Text(row, 4), Int(row, 5),  Int64(row, 6)};
  return true;
}

bool StoreRows::NextSession(SessionEntry& entry) {
  if (!Step(sessions_, SessionTable())) {
    return false;
  }
  sqlite3_stmt* row = sessions_.get();
  entry = {Text(row, 0), Text(row, 1), Int64(row, 2), Int64(row, 3)};
  if (read_secrets_) {
    entry.value_bytes = static_cast<int64_t>(entry.value.size());
  }
  return true;
}

bool StoreRows::NextKeyPair(KeyPair& pair) {
  if (!Step(key_pairs_, KeyPairTable())) {
    return false;
  }
  sqlite3_stmt* row = key_pairs_.get();
  pair = {Text(row, 0), Text(row, 1), Int64(row, 2), Int64(row, 3)};
  if (read_secrets_) {
    pair.access_key_bytes = static_cast<int64_t>(pair.access_key.size());
    pair.secret_key_bytes = static_cast<int64_t>(pair.secret_key.size());
  }
  return true;
}

}  // namespace dbi
