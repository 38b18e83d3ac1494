// HKEY_CURRENT_USER kept in one SQLite database.
//
// keys(path)                 every key, by its path below HKCU ("" is HKCU)
// vals(key, name, type, data) the values; rowid keeps their first-write order
//
// Paths and names compare with NOCASE (ASCII case ignored), as Windows does
// for the names the plug-in uses. Each call runs in one transaction.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "../common/layer.h"
#include "../testing.h"

// An open key: its path below HKCU and the access it was opened with.
struct HKEY__ {
  std::string path;
  REGSAM access;
};

namespace platform {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS vals(key TEXT NOT NULL COLLATE NOCASE,"
    " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB,"
    " PRIMARY KEY(key, name));";

std::recursive_mutex g_mutex;  // guards the connection and the handle set
sqlite3* g_db = nullptr;
std::set<HKEY__*> g_handles;

std::string DatabasePath() {
  if (const char* path = std::getenv("QUICKFERRY_REGISTRY"); path && *path) return path;
  std::string dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    dir = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    dir = std::string(home) + "/.config";
  else
    dir = ".";
  ::mkdir(dir.c_str(), 0700);
  dir += "/quickferry";
  ::mkdir(dir.c_str(), 0700);
  return dir + "/registry.db";
}

// The open connection, or null when the database cannot be used.
sqlite3* Database() {
  if (g_db) return g_db;
  sqlite3* db = nullptr;
  std::string path = DatabasePath();
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
          SQLITE_OK ||
      sqlite3_busy_timeout(db, 5000) != SQLITE_OK ||
      // WAL: a commit is one append, durable and atomic without a sync per write.
      sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                   nullptr) != SQLITE_OK ||
      sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  g_db = db;
  return g_db;
}

// One prepared statement, finalized on every path out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return ok_; }
  Statement& Text(int i, const std::string& s) {
    ok_ = ok_ && sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
  }
  Statement& Int(int i, sqlite3_int64 v) {
    ok_ = ok_ && sqlite3_bind_int64(stmt_, i, v) == SQLITE_OK;
    return *this;
  }
  Statement& Blob(int i, const void* data, int size) {
    ok_ = ok_ && sqlite3_bind_blob(stmt_, i, data ? data : "", size, SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  sqlite3_stmt* get() { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

// BEGIN IMMEDIATE .. COMMIT, rolled back unless Commit() succeeded.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    begun_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (begun_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  bool begun() const { return begun_; }
  bool Commit() {
    if (!begun_) return false;
    begun_ = false;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }

 private:
  sqlite3* db_;
  bool begun_ = false;
};

bool KeyExists(sqlite3* db, const std::string& path, bool* failed) {
  if (path.empty()) return true;
  Statement q(db, "SELECT 1 FROM keys WHERE path = ?");
  int rc = q.Text(1, path).Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) *failed = true;
  return rc == SQLITE_ROW;
}

// The path of `subKey` below `key`, or an error (bad handle, bad name).
LONG ResolvePath(HKEY key, LPCSTR subKey, std::string* path) {
  if (key == HKEY_CURRENT_USER) {
    path->clear();
  } else if (g_handles.count(key)) {
    *path = key->path;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  std::string sub = subKey;
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  if (sub.empty() || sub.front() == '\\' || sub.find("\\\\") != std::string::npos)
    return ERROR_BAD_PATHNAME;
  *path = path->empty() ? sub : *path + "\\" + sub;
  return ERROR_SUCCESS;
}

std::string ValuePath(HKEY key, LPCSTR name) {
  std::string path = key == HKEY_CURRENT_USER || !g_handles.count(key) ? "" : key->path;
  return path + "\\" + (name ? name : "");
}

HKEY NewHandle(const std::string& path, REGSAM access) {
  HKEY handle = new HKEY__{path, access};
  g_handles.insert(handle);
  detail::HandleOpened();
  return handle;
}

// Checks shared by the calls on one open key.
LONG OpenKeyForValues(HKEY key, REGSAM needed, sqlite3** db, std::string* path) {
  if (key != HKEY_CURRENT_USER && !g_handles.count(key)) return ERROR_INVALID_HANDLE;
  if (key != HKEY_CURRENT_USER && !(key->access & needed)) return ERROR_ACCESS_DENIED;
  *db = Database();
  if (!*db) return ERROR_BADDB;
  *path = key == HKEY_CURRENT_USER ? "" : key->path;
  bool failed = false;
  if (!KeyExists(*db, *path, &failed)) return failed ? ERROR_BADDB : ERROR_KEY_DELETED;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (result) *result = nullptr;
  std::string path;
  if (LONG rc = ResolvePath(key, subKey, &path)) return rc;
  DWORD error;
  if (detail::Fault("RegOpenKeyExA", path.c_str(), &error)) return static_cast<LONG>(error);
  if (!result) return ERROR_INVALID_PARAMETER;
  sqlite3* db = Database();
  if (!db) return ERROR_BADDB;
  bool failed = false;
  if (!KeyExists(db, path, &failed)) return failed ? ERROR_BADDB : ERROR_FILE_NOT_FOUND;
  *result = NewHandle(path, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (result) *result = nullptr;
  std::string path;
  if (LONG rc = ResolvePath(key, subKey, &path)) return rc;
  DWORD error;
  if (detail::Fault("RegCreateKeyExA", path.c_str(), &error)) return static_cast<LONG>(error);
  if (!result) return ERROR_INVALID_PARAMETER;
  sqlite3* db = Database();
  if (!db) return ERROR_BADDB;
  Transaction tx(db);
  if (!tx.begun()) return ERROR_BADDB;
  bool failed = false;
  bool existed = KeyExists(db, path, &failed);
  if (failed) return ERROR_BADDB;
  if (!existed) {
    // Every missing ancestor too, as Windows creates the whole chain.
    for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
      Statement insert(db, "INSERT OR IGNORE INTO keys(path) VALUES(?)");
      if (insert.Text(1, path.substr(0, end)).Step() != SQLITE_DONE) return ERROR_BADDB;
      if (end == std::string::npos) break;
    }
  }
  if (!tx.Commit()) return ERROR_BADDB;
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = NewHandle(path, access);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  DWORD error;
  if (detail::Fault("RegQueryValueExA", ValuePath(key, valueName).c_str(), &error))
    return static_cast<LONG>(error);
  sqlite3* db;
  std::string path;
  if (LONG rc = OpenKeyForValues(key, KEY_QUERY_VALUE, &db, &path)) return rc;
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  Statement q(db, "SELECT type, data FROM vals WHERE key = ? AND name = ?");
  int rc = q.Text(1, path).Text(2, valueName ? valueName : "").Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return ERROR_BADDB;
  DWORD size = static_cast<DWORD>(sqlite3_column_bytes(q.get(), 1));
  if (type) *type = static_cast<DWORD>(sqlite3_column_int64(q.get(), 0));
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  DWORD capacity = *dataSize;
  *dataSize = size;
  if (size > capacity) return ERROR_MORE_DATA;
  if (size) std::memcpy(data, sqlite3_column_blob(q.get(), 1), size);
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  DWORD error;
  if (detail::Fault("RegSetValueExA", ValuePath(key, valueName).c_str(), &error))
    return static_cast<LONG>(error);
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  sqlite3* db;
  std::string path;
  if (LONG rc = OpenKeyForValues(key, KEY_SET_VALUE, &db, &path)) return rc;
  Statement upsert(db,
                   "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"
                   " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
  // One statement is one transaction: the old value or the new one, never a part.
  int rc = upsert.Text(1, path)
               .Text(2, valueName ? valueName : "")
               .Int(3, type)
               .Blob(4, data, static_cast<int>(dataSize))
               .Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  std::string path;
  if (LONG rc = ResolvePath(key, subKey, &path)) return rc;
  DWORD error;
  if (detail::Fault("RegDeleteKeyA", path.c_str(), &error)) return static_cast<LONG>(error);
  if (path.empty()) return ERROR_ACCESS_DENIED;  // HKCU itself
  sqlite3* db = Database();
  if (!db) return ERROR_BADDB;
  Transaction tx(db);
  if (!tx.begun()) return ERROR_BADDB;
  bool failed = false;
  if (!KeyExists(db, path, &failed)) return failed ? ERROR_BADDB : ERROR_FILE_NOT_FOUND;
  std::string prefix = path + "\\";
  Statement children(db, "SELECT 1 FROM keys WHERE substr(path, 1, ?) = ? COLLATE NOCASE LIMIT 1");
  int rc = children.Int(1, static_cast<sqlite3_int64>(prefix.size())).Text(2, prefix).Step();
  if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
  if (rc != SQLITE_DONE) return ERROR_BADDB;
  Statement values(db, "DELETE FROM vals WHERE key = ?");
  Statement self(db, "DELETE FROM keys WHERE path = ?");
  if (values.Text(1, path).Step() != SQLITE_DONE || self.Text(1, path).Step() != SQLITE_DONE)
    return ERROR_CANTWRITE;
  return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  DWORD error;
  if (detail::Fault("RegEnumValueA", ValuePath(key, nullptr).c_str(), &error))
    return static_cast<LONG>(error);
  sqlite3* db;
  std::string path;
  if (LONG rc = OpenKeyForValues(key, KEY_QUERY_VALUE, &db, &path)) return rc;
  if (!name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  Statement q(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
  int rc = q.Text(1, path).Int(2, index).Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return ERROR_BADDB;
  const char* found = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
  DWORD length = static_cast<DWORD>(std::strlen(found));
  DWORD size = static_cast<DWORD>(sqlite3_column_bytes(q.get(), 2));
  if (type) *type = static_cast<DWORD>(sqlite3_column_int64(q.get(), 1));
  bool nameFits = length < *nameLength;
  bool dataFits = !data || size <= *dataSize;
  if (dataSize) *dataSize = size;
  if (!nameFits || !dataFits) return ERROR_MORE_DATA;
  std::memcpy(name, found, length + 1);
  *nameLength = length;
  if (data && size) std::memcpy(data, sqlite3_column_blob(q.get(), 2), size);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                      LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  DWORD error;
  if (detail::Fault("RegQueryInfoKeyA", ValuePath(key, nullptr).c_str(), &error))
    return static_cast<LONG>(error);
  sqlite3* db;
  std::string path;
  if (LONG rc = OpenKeyForValues(key, KEY_QUERY_VALUE, &db, &path)) return rc;
  // Direct children only: the rest of the path holds no further backslash.
  std::string prefix = path.empty() ? "" : path + "\\";
  Statement k(db,
              "SELECT count(*), coalesce(max(length(path) - ?), 0) FROM keys"
              " WHERE path <> '' AND substr(path, 1, ?) = ? COLLATE NOCASE"
              " AND instr(substr(path, ? + 1), '\\') = 0");
  sqlite3_int64 n = static_cast<sqlite3_int64>(prefix.size());
  if (k.Int(1, n).Int(2, n).Text(3, prefix).Int(4, n).Step() != SQLITE_ROW) return ERROR_BADDB;
  Statement v(db,
              "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0)"
              " FROM vals WHERE key = ?");
  if (v.Text(1, path).Step() != SQLITE_ROW) return ERROR_BADDB;
  if (keyClass && classLength && *classLength) keyClass[0] = 0;
  if (classLength) *classLength = 0;
  if (subKeys) *subKeys = static_cast<DWORD>(sqlite3_column_int64(k.get(), 0));
  if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(sqlite3_column_int64(k.get(), 1));
  if (maxClassLength) *maxClassLength = 0;
  if (values) *values = static_cast<DWORD>(sqlite3_column_int64(v.get(), 0));
  if (maxValueNameLength) *maxValueNameLength = static_cast<DWORD>(sqlite3_column_int64(v.get(), 1));
  if (maxValueLength) *maxValueLength = static_cast<DWORD>(sqlite3_column_int64(v.get(), 2));
  if (securityDescriptorSize) *securityDescriptorSize = 0;
  if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  if (!g_handles.erase(key)) return ERROR_INVALID_HANDLE;
  delete key;
  detail::HandleClosed();
  return ERROR_SUCCESS;
}

}  // namespace platform

namespace platform::testing {

void ReopenRegistry() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  sqlite3_close(g_db);
  g_db = nullptr;
}

}  // namespace platform::testing
