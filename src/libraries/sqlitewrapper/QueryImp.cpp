#include "libraries/sqlitewrapper/QueryImp.h"

#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <utility>

namespace sqlite {

QueryImp::~QueryImp() {
    sqlite3_finalize(m_statement);
}

void QueryImp::setSql(sqlite3* connection, std::string sql) {
    m_connection = connection;
    m_sql = std::move(sql);
    m_rest = 0;
}

void QueryImp::prepare() {
    if (m_statement) {
        finalize();
    }
    Check(m_connection != nullptr, -1, m_connection, "sqlite::QueryImp::prepare", "No database");
    if (m_rest >= m_sql.size()) {
        return;
    }
    const char* start = m_sql.c_str() + m_rest;
    const char* tail = nullptr;
    const int result = sqlite3_prepare_v2(m_connection, start, -1, &m_statement, &tail);
    if (result != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        Raise(result, m_connection, "sqlite::QueryImp::prepare", "failed", m_sql);
    }
    m_rest = tail ? static_cast<size_t>(tail - m_sql.c_str()) : m_sql.size();
}

void QueryImp::finalize() {
    const int result = sqlite3_finalize(m_statement);
    m_statement = nullptr;
    Check(result == SQLITE_OK, result, m_connection, "sqlite::QueryImp::finalize", "failed", m_sql);
}

}  // namespace sqlite
