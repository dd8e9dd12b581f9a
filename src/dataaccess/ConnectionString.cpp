#include "dataaccess/ConnectionString.h"

#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

namespace {

// A value as the connection string reader takes it whole: braced ("}" doubled) when it holds a character
// that could end the pair or open a quoted value, so a DSN, user or password can never add an attribute,
// and when it has blanks at either end, which an unbraced value loses (a password keeps them).
XString quoted(const XString& value) {
    const QString text = value.toQString();
    const QString start = text.trimmed().left(1);
    if (!text.contains(u';') && !text.contains(u'{') && !text.contains(u'}') && start != u"'" &&
        start != u"\"" && text == text.trimmed()) {
        return value;
    }
    XString braced = value;
    braced.replaceAll("}", "}}");
    return "{" + braced + "}";
}

// key + value when the value is given (even empty), nothing when it is absent.
XString givenPart(const char* key, const std::optional<XString>& value) {
    return value ? XString(key) + quoted(*value) : XString();
}

// key + value when the value is given and not empty.
XString nonEmptyPart(const char* key, const std::optional<XString>& value) {
    return value && !value->isEmpty() ? XString(key) + quoted(*value) : XString();
}

XString valueOrEmpty(const std::optional<XString>& value) {
    return value ? quoted(*value) : XString();
}

}  // namespace

XString ConnectionString::build(int type, const XString& memberDataSource, const XString& dataSource,
                                const std::optional<XString>& user, const std::optional<XString>& password) {
    const XString d = quoted(dataSource);
    switch (type) {
        case DbType::DBaseODBC:
            return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + quoted(memberDataSource) +
                   ";Extended Properties=dBASE IV;";
        case DbType::DBaseXBase:
            return dataSource;  // a data folder, not a connection string
        case DbType::FoxProODBC:
            return "Persist Security Info=False;Data Source=" + d + ";Collating Sequence=machine" +
                   givenPart(";User ID=", user) + givenPart(";Password=", password) + ";";
        case DbType::FoxProDBF:
            return "Provider=VFPOLEDB.1;Data Source=" + d + ";Collating Sequence=MACHINE";
        case DbType::MSSQL: {
            // "SERVER; database": the database part is optional and loses its surrounding blanks.
            const int semicolon = dataSource.find(';');
            const XString server = semicolon < 0 ? dataSource : dataSource.left(semicolon);
            const XString database = semicolon < 0 ? XString() : dataSource.mid(semicolon + 1).trimmed();
            XString text = "Provider=MSDASQL;Persist Security Info=False;Data Source=" + quoted(server);
            if (!database.isEmpty()) {
                text += ";Database=" + quoted(database);
            }
            if (user && !user->isEmpty()) {
                text += ";User ID=" + quoted(*user);
                text += nonEmptyPart(";Password=", password);
            } else {
                text += ";Trusted_Connection=yes";
            }
            return text + ";";
        }
        case DbType::MySQL:
            return "Data Source=" + d + ";User Id=" + valueOrEmpty(user) +
                   ";Password=" + valueOrEmpty(password) + ";";
        case DbType::SQLite:
            return "Database=" + d;
        case DbType::DB2:
            return "DB2OLEDB";
        case DbType::Access:
            return "Persist Security Info=False;Data Source=" + d + givenPart(";User ID=", user) +
                   givenPart(";Password=", password);
        case DbType::Postgres:
        case DbType::Progress:
        case DbType::TopSpeed:
            return "DSN=" + d + givenPart(";UID=", user) + givenPart(";PWD=", password);
        case DbType::OracleODBC:
            return "Data Source=" + d + givenPart(";User ID=", user) + givenPart(";Password=", password) +
                   ";Persist Security Info=True;";
        case DbType::OracleOLE:
            return "Provider=OraOLEDB.Oracle;Data Source=" + d + givenPart(";User ID=", user) +
                   givenPart(";Password=", password) + ";Persist Security Info=True;";
        case DbType::OracleMSDAORA:
            return "Provider=MSDAORA;Data Source=" + d + givenPart(";User ID=", user) +
                   givenPart(";Password=", password) + ";Persist Security Info=True;";
        case DbType::SybaseOLE:
            return "Provider=Sybase ASE OLE DB Provider;Data source=" + d + givenPart(";User Id=", user) +
                   givenPart(";Password=", password) + ";";
        case DbType::SybaseODBC:
            return "DSN=" + d + givenPart(";UID=", user) + givenPart(";PWD=", password) + ";";
        case DbType::Informix:
            return "DSN=" + d + nonEmptyPart(";UID=", user) + nonEmptyPart(";PWD=", password) +
                   ";ISOLATIONLEVEL=1;";
        case DbType::LotusNotes:
        case DbType::CADatacom:
            return "DSN=" + d + ";Uid=" + valueOrEmpty(user) + ";Pwd=" + valueOrEmpty(password) + ";";
        case DbType::NotSet:
            throw XException("Can't build connection string for unknown database type.");
        default:
            throw XException("Database type not yet defined for BuildConnectionString, please define.");
    }
}
