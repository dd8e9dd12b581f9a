// One SQL statement run on a sqlite::Database, stepped row by row.
//
// Owns its QueryImp (and through it the prepared statement); the destructor finalizes a remaining statement.
// Every failure raises a sqlite::SqlError.
// REQUIRES: the Database outlives the Query and stays open while the Query is used.
#pragma once

#include "libraries/sqlitewrapper/Database.h"
#include "libraries/sqlitewrapper/QueryImp.h"
#include "libraries/support/XString.h"

#include <memory>

namespace sqlite {

class Query {
  public:
    // Nothing prepared yet.
    explicit Query(Database& database);
    // Prepares sql at once.
    Query(Database& database, const XString& sql);
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    virtual ~Query();

    // Formats with SQLite's printf (%q / %Q quote text) and prepares the result; raises when it holds no
    // statement.
    void Prepare(const char* format, ...);
    // True when a row is available, false when the statement is done.
    bool Step();
    // Index of the first result column named name, compared without regard to case.
    int FindColumn(const XString& name);
    // The column's text in the current row ("" for SQL NULL; ColumnIsNull tells them apart).
    XString StringColumn(const XString& name);
    bool ColumnIsNull(const XString& name);
    long long IntColumn(const XString& name);
    // By index (0-based) for a loop over many rows; REQUIRES: a row is current and index is in range.
    XString StringColumnAt(int index);
    bool ColumnIsNullAt(int index);
    // Binds text to the 1-based parameter of the prepared statement (copied by SQLite).
    void Bind(int index, const XString& text);
    // Binds text without a copy, for a statement run once per row of a long load.
    // REQUIRES: text stays alive and unchanged until the statement has run (Run) and is bound anew.
    void BindUnowned(int index, const XString& text);
    // Makes the prepared statement ready to run again; the bound values stay.
    void Reset();
    // Steps a statement that returns no rows and answers the rows it changed.
    int Run();
    // The statement text with the bound values in place, for messages.
    XString ExpandedSql() const;
    void Finalize();
    bool HasStatement() const { return m_imp->statement() != nullptr; }
    // "" when none.
    XString SqlText() const { return XString(m_imp->sql()); }

  private:
    void prepareText(const std::string& sql);
    // Binds text, copied by SQLite or not; method names the caller in a failure.
    void bindText(int index, const XString& text, bool copy, const char* method);

    Database& m_database;
    std::unique_ptr<QueryImp> m_imp;
};

}  // namespace sqlite
