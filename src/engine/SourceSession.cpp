#include "engine/SourceSession.h"

SourceSession::SourceSession(ODBCDataAccess& access, const XString& connectionString) : m_access(access) {
    try {
        m_access.Connect(connectionString);
        m_access.ClearQuery();
    } catch (...) {
        close();
        throw;
    }
}

SourceSession::~SourceSession() {
    close();
}

void SourceSession::close() noexcept {
    try {
        m_access.CloseQuery();
        m_access.Disconnect();
    } catch (...) {
        // The answer is known, or its failure already reported; nothing more to release.
    }
}
