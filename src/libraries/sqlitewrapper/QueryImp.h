// The prepared-statement state behind sqlite::Query: the connection, the statement, the SQL text and the
// part of it not yet prepared.
//
// Owns the statement (finalized by the destructor, errors ignored). A QueryImp never outlives the
// Database whose connection it holds.
#pragma once

#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite {

class QueryImp {
  public:
    QueryImp() = default;
    QueryImp(const QueryImp&) = delete;
    QueryImp& operator=(const QueryImp&) = delete;
    virtual ~QueryImp();

    // Replaces the SQL text; the whole of it is unprepared.
    void setSql(sqlite3* connection, std::string sql);
    // Finalizes a held statement, then prepares the next statement of the unprepared text (none when only
    // blanks or nothing is left).
    void prepare();
    // Finalizes the held statement. REQUIRES: statement() != nullptr.
    void finalize();

    sqlite3* connection() const { return m_connection; }
    sqlite3_stmt* statement() const { return m_statement; }
    const std::string& sql() const { return m_sql; }

  private:
    sqlite3* m_connection = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    std::string m_sql;
    size_t m_rest = 0;  // offset of the unprepared part of m_sql
};

}  // namespace sqlite
