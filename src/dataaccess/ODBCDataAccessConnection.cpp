// ODBCDataAccess, the connection and its errors: building the connection string for the database type,
// opening, holding and closing the one connection, the end of a run, and the text of an access error.
#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/ComErrorText.h"
#include "dataaccess/ConnectionString.h"
#include "dataaccess/DbType.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"
#include "libraries/support/XException.h"

// --- Connection ---

XString ODBCDataAccess::BuildConnectionString(const XString& dataSourceText,
                                              const std::optional<XString>& user,
                                              const std::optional<XString>& password) {
    report(Debug, "Build Connection String for: " + DbTypeName());
    if (m_dbType == DbType::DBaseXBase) {
        report(Debug, DbTypeName());
    } else if (m_dbType == DbType::FoxProDBF) {
        report(Debug, "Build Connection String: Fox Pro DBF Driver");
    }
    try {
        return ConnectionString::build(m_dbType, dataSource(), dataSourceText, user, password);
    } catch (const XException& e) {
        reportAndThrow(Debug, XString(e.message()));
    }
}

void ODBCDataAccess::Connect(const XString& connectionString) {
    if (IsConnected() && m_holdConnection && connectionString == m_lastConnectionString) {
        // The connection of the run serves every question put to the same source: only a result still
        // being streamed is released, as a disconnect would.
        releaseStreamedResult();
        return;
    }
    if (IsConnected()) {
        closeConnection();
    }
    m_sourceCatalogue.clear();
    if (m_dbType == DbType::DBaseXBase) {
        report(Informational, "Connect - Could not connect need to define USE_XBASE");
        return;
    }
    m_lastConnectionString = connectionString;
    try {
        if (m_options & Exclusive) {
            m_connection->setMode(ado::Connection::adModeShareExclusive);
            report(Debug, "Open in Exclusive Access Mode.");
        } else {
            m_connection->setMode(ado::Connection::adModeRead);
            report(Debug, "Open in Read Only Access Mode.");
        }
        m_connection->setConnectionTimeout(connectionTimeout());
        m_connection->setCommandTimeout(commandTimeout());
        m_connection->open(connectionString.toQString(), QString(), QString(), 0);
    } catch (const ado::ComError& e) {
        throw XException(ComErrorText(m_connection.get(), e).toStdString());
    }
    report(Debug, "Connected to data source.");
}

void ODBCDataAccess::Disconnect() {
    if (m_dbType == DbType::DBaseXBase) {
        report(Informational, "Disconnect: Xbase not defined!");
        return;
    }
    if (m_holdConnection) {
        releaseStreamedResult();
        return;
    }
    closeConnection();
}

void ODBCDataAccess::releaseStreamedResult() {
    // A static result holds its rows without the connection; a forward-only one must go first.
    if (m_recordset && m_recordset->cursorType() == ado::Recordset::adOpenForwardOnly) {
        m_recordset.reset();
    }
}

void ODBCDataAccess::closeConnection() {
    releaseStreamedResult();
    if (m_connection->isOpen()) {
        m_connection->close();
    }
}

void ODBCDataAccess::HoldConnection(bool hold) {
    m_holdConnection = hold;
}

bool ODBCDataAccess::IsConnected() const {
    return m_connection->isOpen();
}

void ODBCDataAccess::SetDataSource(const XString& text) {
    if (IsConnected()) {
        Disconnect();
    }
    setDataSource(text);
}

void ODBCDataAccess::Reconnect() {
    // A lost connection is opened anew, held or not.
    closeConnection();
    Connect(m_lastConnectionString);
}

void ODBCDataAccess::StartSource(const XString& connectionString, bool keepConnection) {
    StartWriter();
    m_keepConnection = keepConnection;
    Connect(connectionString);
    if (value("logSchema") == QLatin1String("true")) {
        try {
            logSchema();
        } catch (...) {
            // The schema log is a diagnostic; a source that cannot list its catalogue still extracts.
        }
    }
}

void ODBCDataAccess::FinishWriter() {
    report(Informational, "Finished Extraction");
    report(Debug, "Finishing Import");
    if (!m_keepConnection) {
        report(Debug, "Disconnecting");
        closeConnection();
    }
    report(Debug, "Saving Bridge Config");
    SaveBridgeConfig();
    report(Debug, "Clearing Run Data");
    ClearHeaders();
    report(Progress, "Export complete.");
    emit writeProgress("end_progress", -1);
    report(Debug, "End Extract Log");
    report(Debug, "Extract Log Ended");
    emit writeProgress("bridge_complete", -1);
}

void ODBCDataAccess::SendError(const XString& context, const XString& text) {
    emit writeError("Error", (context + ": " + text).toQString());
}

XString ODBCDataAccess::ComErrorText(const ado::Connection* connection, const ado::ComError& error) {
    const XString text = ComErrorText::build(connection ? &connection->errors() : nullptr, error);
    report(Debug, text);
    return text;
}

int ODBCDataAccess::ClassifyConnectionError(const XString& text) {
    return ComErrorText::classify(text);
}
