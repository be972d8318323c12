// The database engine: the DAO operations the program uses (open database,
// dynaset recordsets on a table or a SELECT text, find first / find next /
// no-match, typed field get and set, add new / edit / update / delete, create
// database / table / field, workspace transactions), on SQLite files.
//
// Criteria and SELECT texts are Jet texts; they are parsed and run inside
// SQLite with bound parameters, so indexes serve them. Text comparison is
// case-insensitive: for ASCII letters always (SQLite's NOCASE); for other
// letters (à, È) in comparisons with a quoted text that holds them and in
// Instr, while Order by and comparisons with an ASCII-only text keep such
// letters apart by case. A workspace is one SQLite connection on a private main
// file with every open database ATTACHed to it, so one transaction spans
// all of them and commits atomically across files.
//
// With a server configured (db/Server.h) the hotel's files are schemas of a
// PostgreSQL database instead, reached through one libpq connection per
// workspace; the same Jet texts are translated for it (db/Dialect.h), and a
// workspace transaction spans the server and the local files.
//
// Every failure throws quorvel::Error naming the file, table or field.
#pragma once

#include "platform/Currency.h"
#include "platform/Error.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace quorvel::db {

// Jet field type codes (create field).
// Memo: a text with no size limit.
enum class FieldType : int { Int16 = 3, Int32 = 4, Currency = 5, Double = 7, Text = 10, Memo = 12 };

// A field value. Integers of both sizes are held as int64.
class Value {
public:
    Value() = default;  // Null
    Value(int v) : m_v(std::int64_t{v}) {}
    Value(std::int64_t v) : m_v(v) {}
    Value(double v) : m_v(v) {}
    Value(Currency v) : m_v(v) {}
    Value(const QString& v) : m_v(v) {}
    Value(const char* v) : m_v(QString::fromUtf8(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(m_v); }
    // Conversions as the engine's: a Null reads as 0 or empty text; a text
    // that is not a number reads as 0.
    std::int64_t toInt() const;
    double toDouble() const;
    Currency toCurrency() const;
    QString toString() const;

    const auto& variant() const { return m_v; }
    bool operator==(const Value&) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, Currency, QString> m_v;
};

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;  // characters, for Text; ignored otherwise
};

// A table definition being built (create table definition, create field,
// append), appended to a database with Database::appendTable.
class TableDef {
public:
    explicit TableDef(QString name) : m_name(std::move(name)) {}
    void appendField(const QString& name, FieldType type, int size = 0) {
        m_fields.push_back({name, type, size});
    }
    const QString& name() const { return m_name; }
    const std::vector<FieldDef>& fields() const { return m_fields; }

private:
    QString m_name;
    std::vector<FieldDef> m_fields;
};

class Database;
class Workspace;
struct ServerConfig;

// A dynaset on a table (rows in insertion order) or on a SELECT text (rows
// in its Order by, then insertion order). REQUIRES: its Database outlives it.
class Recordset {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Moves to the first row (in the recordset's order) matching the Jet
    // criterion, or sets noMatch() and keeps the current row.
    void findFirst(const QString& criterion);
    // Same, searching after the current row.
    void findNext(const QString& criterion);
    // findFirst for a criterion whose values are given apart: each ? outside
    // quotes and brackets stands for the next value, as if written there as
    // a literal (a text quoted, apostrophes doubled). A repeated criterion
    // skips writing and reading its text.
    void findFirst(const QString& criterion, const std::vector<Value>& values);
    bool noMatch() const;
    // Visits every row matching the criterion in the recordset's order, in
    // one query, each the current row while visit runs. REQUIRES: visit only
    // reads fields of this recordset (no other engine call).
    void forEach(const QString& criterion, const std::function<void()>& visit);
    // The same for the rows skip + 1 .. skip + limit of those (a page of a
    // long list): the rows before them are stepped over by the store.
    void forEach(const QString& criterion, std::int64_t skip, std::int64_t limit,
                 const std::function<void()>& visit);
    // How many rows match the criterion; an empty criterion counts them all
    // (a SQLite file counts a table's rows without reading them).
    std::int64_t count(const QString& criterion = {});
    // Deletes every row matching the criterion at once; returns how many.
    std::int64_t removeAll(const QString& criterion);
    // Appends rows at once: values holds one value per field of fields, row
    // after row. Each value is checked as setValue checks it, all before
    // anything is written; many rows go in one statement, so a batch costs
    // far less than addNew and update per row. The rows' identities are not
    // told (lastAddedId stays).
    void addAll(const QStringList& fields, std::vector<Value> values);
    // SQLite's plan for findFirst(criterion), one step a line (for tests and
    // benchmarks: which index serves the lookup).
    QString queryPlan(const QString& criterion);

    // Field get, typed; throws when there is no current row or no such field.
    Value value(const QString& field) const;
    QString text(const QString& field) const { return value(field).toString(); }
    std::int64_t integer(const QString& field) const { return value(field).toInt(); }
    double real(const QString& field) const { return value(field).toDouble(); }
    Currency money(const QString& field) const { return value(field).toCurrency(); }

    // Field set: legal only between addNew()/edit() and update(). The value
    // is checked against the field's type (integer range, text size) here
    // or at update(), and refused with an Error naming the field.
    void setValue(const QString& field, const Value& value);

    void addNew();  // starts a new row (fields Null)
    void edit();    // starts changing the current row
    void update();  // writes the new or changed row
    void remove();  // deletes the current row (DAO's Delete)

    // The current row's identity in its table (SQLite's rowid, the server's
    // identity column): stable for the row's life, so another table may
    // point at it. Throws when there is no current row.
    std::int64_t rowId() const;
    // The identity of the row the last update() after addNew() wrote (0
    // before any): DAO leaves the current row where it was, so a writer that
    // must point at its new row asks here.
    std::int64_t lastAddedId() const;

    QStringList fieldNames() const;

private:
    friend class Database;
    struct Impl;
    explicit Recordset(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class Database {
public:
    ~Database();  // closes
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Dynaset on a table name or a SELECT text (a trailing ';' allowed).
    std::unique_ptr<Recordset> openRecordset(const QString& source);
    // Appends a table built with TableDef (create table definition).
    void appendTable(const TableDef& def);
    bool hasTable(const QString& table) const;
    // Creates an index over fields (in order) of one of the program's own
    // tables, named after the table and fields; nothing when it exists. On
    // the server a text field is indexed on the folded expression its
    // look-ups compare, so they use the index.
    void createIndex(const QString& table, const QStringList& fields);
    // The same over the rows whose first field is not Null only (a partial
    // index): rows that no look-up asks for cost no index entry. An
    // equality look-up on that field uses it.
    void createIndexOfSet(const QString& table, const QStringList& fields);
    // Drops one of the program's own tables (a one-time conversion's old table).
    void dropTable(const QString& table);
    // Creates the view name over tables of this database when missing.
    // select is a SELECT whose table names are written {Table}; rowSource is
    // the alias of the table whose row identity the view carries on the
    // server (SQLite's views have none).
    void createView(const QString& name, const QString& select, const QString& rowSource);

    // Inside a transaction, waits until no other transaction holds key on
    // this database, and holds it to the commit or rollback: a find-then-add
    // of several processes under one key never adds two rows. On the server
    // an advisory lock (waited for as long as a row lock); on a SQLite file
    // nothing, as a writing transaction holds the whole file.
    void lockForWrite(const QString& key);

    void close();                 // idempotent
    const QString& path() const;  // absolute path of the file
    Workspace& workspace() const;

private:
    friend class Workspace;
    friend class Recordset;
    struct Impl;
    explicit Database(std::unique_ptr<Impl> impl);
    void createIndex(const QString& table, const QStringList& fields, bool ofSet);
    std::unique_ptr<Impl> m_impl;
};

// A value the store refused for the row being written (a constraint, a
// trigger, a value out of its column's range): tied to that row, so a
// caller may set the row aside and go on with the others.
class ValueRefused : public Error {
public:
    using Error::Error;
};

// DAO's workspace: opens databases and runs transactions over all of them.
class Workspace {
public:
    // On the default configuration (defaultServer()): SQLite files unless set.
    Workspace();
    // Hotel files on the server; connects at the first database opened there.
    explicit Workspace(const ServerConfig& server);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Opens an existing database; a bare name resolves against the current
    // folder. Throws when the file is missing or is not a database.
    std::unique_ptr<Database> openDatabase(const QString& fileName);
    // Creates a new database file (locale and options are accepted for the
    // call's sake; the store ignores them). Throws when the file exists.
    std::unique_ptr<Database> createDatabase(const QString& fileName, const QString& locale,
                                             int options = 0);

    void beginTrans();
    void commitTrans();
    void rollback();
    bool inTransaction() const;

    // Gives the caches of a finished run back to the system: SQLite's page
    // caches and, where the C library keeps freed memory (glibc), that too.
    void releaseMemory();

    // How long a statement waits for another process's lock before failing
    // (on the server: lock_timeout).
    void setBusyTimeout(int milliseconds);
    // The program's bridge: from now on every server connection of this
    // workspace claims the schema of the program's own tables and fails,
    // naming the other bridge, while another holds it. Nothing without a
    // server.
    void claimOwnSchema();
    // True when this workspace puts the file (by name) on the server.
    bool onServer(const QString& fileName) const;

    struct Impl;
    Impl& impl() const { return *m_impl; }

private:
    std::unique_ptr<Impl> m_impl;
};

// A transaction that rolls back unless commit() is called.
class Transaction {
public:
    explicit Transaction(Workspace& ws) : m_ws(ws) { m_ws.beginTrans(); }
    ~Transaction() {
        if (!m_done) {
            try {
                m_ws.rollback();
            } catch (...) {
            }
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        m_ws.commitTrans();
        m_done = true;
    }

private:
    Workspace& m_ws;
    bool m_done = false;
};

// Every Workspace keeps its private main file in a folder of this prefix in
// the current folder, holding the lock file WorkspaceOwnerLock while it
// lives. A process killed mid-run leaves its folder behind.
inline constexpr char WorkspaceFolderPrefix[] = ".quorvel-ws-";
inline constexpr char WorkspaceOwnerLock[] = "owner.lock";

// Removes the folders that workspaces of ended processes left in dir, except
// those still holding a super-journal that a later recovery may need. A
// folder whose lock a live process holds (the program's, a tool's) stays,
// so any process may call this at any time. Returns how many were removed.
int removeStaleWorkspaceFolders(const QString& dir);

// SQLite declared type of a field, the convention every hotel file follows:
// SMALLINT, INTEGER, CURRENCY, DOUBLE, TEXT(n) COLLATE NOCASE.
QString declaredType(const FieldDef& field);

}  // namespace quorvel::db
