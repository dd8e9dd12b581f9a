#include "libraries/sqlitewrapper/Query.h"

#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <cstdarg>
#include <string>

namespace sqlite {

Query::Query(Database& database) : m_database(database), m_imp(std::make_unique<QueryImp>()) {}

Query::Query(Database& database, const XString& sql) : Query(database) {
    prepareText(sql.toStdString());
}

Query::~Query() = default;

void Query::prepareText(const std::string& sql) {
    if (m_imp->statement()) {
        m_imp->finalize();
    }
    m_imp->setSql(m_database.Handle(), sql);
    m_imp->prepare();
    Check(m_imp->statement() != nullptr, SQLITE_DONE, m_imp->connection(), "sqlite::Query::Prepare",
          "no statement to prepare", sql);
}

void Query::Prepare(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = sqlite3_vmprintf(format, args);
    va_end(args);
    if (!text) {
        throw SqlError(SQLITE_NOMEM, "", "Failed to allocate memory.", "sqlite::Query::Prepare", "");
    }
    const std::string sql(text);
    sqlite3_free(text);
    prepareText(sql);
}

bool Query::Step() {
    Check(m_imp->statement() != nullptr, -1, nullptr, "sqlite::Query::Step", "No prepared statement", "");
    const int result = sqlite3_step(m_imp->statement());
    Check(result == SQLITE_ROW || result == SQLITE_DONE, result, m_imp->connection(), "sqlite::Query::Step",
          "failed", m_imp->sql());
    return result == SQLITE_ROW;
}

int Query::FindColumn(const XString& name) {
    Check(m_imp->statement() != nullptr, -1, nullptr, "sqlite::Query::FindColumn", "No prepared statement",
          "");
    const int count = sqlite3_column_count(m_imp->statement());
    for (int i = 0; i < count; ++i) {
        const char* column = sqlite3_column_name(m_imp->statement(), i);
        if (column && sqlite3_stricmp(column, name.c_str()) == 0) {
            return i;
        }
    }
    const std::string description = "Request for non-existent column \"" + name.toStdString() + "\"";
    Raise(-1, nullptr, "sqlite::Query::FindColumn", description, m_imp->sql());
}

XString Query::StringColumn(const XString& name) {
    const int index = FindColumn(name);
    const auto* text = sqlite3_column_text(m_imp->statement(), index);
    const int bytes = sqlite3_column_bytes(m_imp->statement(), index);
    return text ? XString(reinterpret_cast<const char*>(text), bytes) : XString();
}

bool Query::ColumnIsNull(const XString& name) {
    const int index = FindColumn(name);
    return sqlite3_column_type(m_imp->statement(), index) == SQLITE_NULL;
}

long long Query::IntColumn(const XString& name) {
    const int index = FindColumn(name);
    return sqlite3_column_int64(m_imp->statement(), index);
}

XString Query::StringColumnAt(int index) {
    const auto* text = sqlite3_column_text(m_imp->statement(), index);
    const int bytes = sqlite3_column_bytes(m_imp->statement(), index);
    return text ? XString(reinterpret_cast<const char*>(text), bytes) : XString();
}

bool Query::ColumnIsNullAt(int index) {
    return sqlite3_column_type(m_imp->statement(), index) == SQLITE_NULL;
}

void Query::Bind(int index, const XString& text) {
    bindText(index, text, true, "sqlite::Query::Bind");
}

void Query::BindUnowned(int index, const XString& text) {
    bindText(index, text, false, "sqlite::Query::BindUnowned");
}

void Query::bindText(int index, const XString& text, bool copy, const char* method) {
    Check(m_imp->statement() != nullptr, -1, nullptr, method, "No prepared statement", "");
    const int result = sqlite3_bind_text(m_imp->statement(), index, text.c_str(), text.length(),
                                         copy ? SQLITE_TRANSIENT : SQLITE_STATIC);
    Check(result == SQLITE_OK, result, m_imp->connection(), method, "failed", m_imp->sql());
}

void Query::Reset() {
    Check(m_imp->statement() != nullptr, -1, nullptr, "sqlite::Query::Reset", "No prepared statement", "");
    // The result of reset repeats the last step's failure, which Step already raised.
    sqlite3_reset(m_imp->statement());
}

int Query::Run() {
    try {
        Step();
    } catch (...) {
        Reset();
        throw;
    }
    const int changed = sqlite3_changes(m_imp->connection());
    Reset();
    return changed;
}

XString Query::ExpandedSql() const {
    if (m_imp->statement() == nullptr) {
        return XString();
    }
    char* text = sqlite3_expanded_sql(m_imp->statement());
    const XString result(text ? text : "");
    sqlite3_free(text);
    return result;
}

void Query::Finalize() {
    Check(m_imp->statement() != nullptr, -1, nullptr, "sqlite::Query::Finalize", "No prepared statement", "");
    m_imp->finalize();
}

}  // namespace sqlite
