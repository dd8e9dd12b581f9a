#include "libraries/ado/Connection.h"

#include <sqlext.h>

#include "libraries/ado/ConnectionString.h"
#include "libraries/ado/OdbcCall.h"
#include "libraries/ado/OdbcHandle.h"

namespace ado {

namespace {

const QString kConnectionSource = QStringLiteral("ADODB.Connection");

// Attributes that a driver may not know: a refusal for "not supported" reasons is accepted.
bool isUnsupported(const QList<ErrorRecord>& records) {
    for (const ErrorRecord& record : records) {
        if (record.sqlState == u"HYC00" || record.sqlState == u"HY092" || record.sqlState == u"HY024" ||
            record.sqlState == u"IM001") {
            return true;
        }
    }
    return false;
}

// A driver that echoes a password sets it apart from other words ("PWD=secret;", "'secret'"). Such a
// message is withheld whole: masking the occurrence would leave its length or, from the words around it,
// the password itself readable. An occurrence inside longer words is chance ("e" in "Data source name")
// and tells nothing; masking it would spell the password out ("Data sourc**** nam****").
QString scrub(const QString& text, const QStringList& secrets) {
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (const QString& secret : secrets) {
        for (qsizetype at = text.indexOf(secret); at >= 0; at = text.indexOf(secret, at + 1)) {
            const qsizetype end = at + secret.size();
            const bool apartBefore = at == 0 || !isWordChar(text.at(at - 1)) || !isWordChar(secret.front());
            const bool apartAfter =
                end == text.size() || !isWordChar(text.at(end)) || !isWordChar(secret.back());
            if (apartBefore && apartAfter) {
                return QStringLiteral("(driver message withheld)");
            }
        }
    }
    return text;
}

}  // namespace

struct Connection::Impl {
    Mode mode = adModeUnknown;
    int connectionTimeout = 15;
    int commandTimeout = 30;
    QList<ErrorRecord> errors;
    // Only while open: the password values to keep out of driver messages. Never written anywhere.
    QStringList secrets;
    // Member order matters: the connection handle must go before its environment.
    OdbcHandle environment;
    OdbcHandle connection;

    [[noreturn]] void fail(ComError error) {
        QList<ErrorRecord> records = error.errors();
        for (ErrorRecord& record : records) {
            record.description = scrub(record.description, secrets);
        }
        errors = records;
        throw ComError(error.hresult(), error.source(), scrub(error.description(), secrets), records);
    }

    SQLRETURN check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
        try {
            return OdbcCall::check(rc, type, handle);
        } catch (const ComError& error) {
            fail(error);
        }
    }

    void setOptionalAttribute(SQLINTEGER attribute, SQLULEN value) {
        const SQLRETURN rc = SQLSetConnectAttr(connection.get(), attribute,
                                               reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER);
        if (rc == SQL_ERROR && isUnsupported(OdbcCall::diagnostics(SQL_HANDLE_DBC, connection.get()))) {
            return;
        }
        check(rc, SQL_HANDLE_DBC, connection.get());
    }
};

Connection::Connection() : d_(std::make_unique<Impl>()) {}

Connection::~Connection() = default;

void Connection::setMode(Mode mode) {
    d_->mode = mode;
}
Connection::Mode Connection::mode() const {
    return d_->mode;
}
void Connection::setConnectionTimeout(int seconds) {
    d_->connectionTimeout = seconds;
}
int Connection::connectionTimeout() const {
    return d_->connectionTimeout;
}
void Connection::setCommandTimeout(int seconds) {
    d_->commandTimeout = seconds;
}
int Connection::commandTimeout() const {
    return d_->commandTimeout;
}

void Connection::open(const QString& connectionString, const QString& user, const QString& password, int) {
    if (isOpen()) {
        throw ComError(ComError::ObjectOpen, kConnectionSource,
                       QStringLiteral("Operation is not allowed when the object is open."));
    }
    d_->errors.clear();
    d_->secrets = ConnectionString::secrets(connectionString);
    if (!password.isEmpty()) {
        d_->secrets.append(password);
    }
    try {
        QString odbc = ConnectionString::toOdbc(connectionString, user, password);
        const std::optional<ConnectionString::DsnLogin> login = ConnectionString::dsnLogin(odbc);

        OdbcHandle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        d_->check(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_HANDLE_ENV, environment.get());
        OdbcHandle connection(SQL_HANDLE_DBC, environment.get());
        d_->connection = std::move(connection);
        d_->environment = std::move(environment);

        if (d_->connectionTimeout >= 0) {
            // Never longer than the watchdog waits: the driver's own bound ends a silent login first.
            const int seconds = SourceWatchdog::instance().capSeconds(d_->connectionTimeout);
            d_->setOptionalAttribute(SQL_ATTR_LOGIN_TIMEOUT, static_cast<SQLULEN>(seconds));
        }
        if (d_->mode == adModeRead) {
            d_->setOptionalAttribute(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY);
        }

        SQLHDBC dbc = d_->connection.get();
        SQLRETURN rc;
        if (login) {
            const QByteArray dsn = login->dsn.toUtf8();
            const QByteArray uid = login->user.toUtf8();
            const QByteArray pwd = login->password.toUtf8();
            auto text = [](const QByteArray& bytes) {
                return reinterpret_cast<SQLCHAR*>(const_cast<char*>(bytes.constData()));
            };
            rc = OdbcCall::watched(SQL_HANDLE_DBC, dbc, [&] {
                return SQLConnect(dbc, text(dsn), static_cast<SQLSMALLINT>(dsn.size()), text(uid),
                                  static_cast<SQLSMALLINT>(uid.size()), text(pwd),
                                  static_cast<SQLSMALLINT>(pwd.size()));
            });
        } else {
            const QByteArray text = odbc.toUtf8();
            rc = OdbcCall::watched(SQL_HANDLE_DBC, dbc, [&] {
                return SQLDriverConnect(
                    dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.constData())),
                    static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
            });
        }
        d_->check(rc, SQL_HANDLE_DBC, d_->connection.get());
        d_->connection.setConnected(true);
    } catch (const ComError& error) {
        d_->connection.reset();
        d_->environment.reset();
        d_->errors = error.errors();  // already scrubbed when it came from the driver
        d_->secrets.clear();
        throw;
    }
}

Connection::State Connection::state() const {
    return d_->connection.connected() ? adStateOpen : adStateClosed;
}

void Connection::close() {
    if (!isOpen()) {
        throw ComError(ComError::ObjectClosed, kConnectionSource,
                       QStringLiteral("Operation is not allowed when the object is closed."));
    }
    SQLHDBC dbc = d_->connection.get();
    const SQLRETURN rc = OdbcCall::watched(SQL_HANDLE_DBC, dbc, [dbc] { return SQLDisconnect(dbc); });
    QList<ErrorRecord> records;
    if (rc == SQL_ERROR) {
        records = OdbcCall::diagnostics(SQL_HANDLE_DBC, d_->connection.get());
    }
    // Whatever the driver says, the handles go: a connection that cannot be closed cleanly is of
    // no further use, and freeing it is the only way to release it.
    d_->connection.setConnected(false);
    d_->connection.reset();
    d_->environment.reset();
    if (rc == SQL_ERROR) {
        d_->fail(ComError::fromDiagnostics(records));
    }
    d_->secrets.clear();
}

const QList<ErrorRecord>& Connection::errors() const {
    return d_->errors;
}
void Connection::clearErrors() {
    d_->errors.clear();
}

SQLHDBC Connection::odbcHandle() const {
    return isOpen() ? d_->connection.get() : SQL_NULL_HANDLE;
}

void Connection::fail(ComError error) {
    d_->fail(std::move(error));
}

SQLRETURN Connection::check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
    return d_->check(rc, handleType, handle);
}

}  // namespace ado
