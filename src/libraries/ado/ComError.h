// The error object of the ADO-like layer: what a COM error carries in ADO (HRESULT, source,
// description) plus the diagnostic records that ADO would put in the connection's Errors collection.
//
// Every failing ODBC call becomes one ComError with these fixed parts:
//   HRESULT     0x80004005 (E_FAIL, code meaning "Unspecified error")
//   source      "unixODBC" (OdbcSource)
//   description the message of the first diagnostic record (empty when the driver gave none)
//   errors      every diagnostic record of the failing call, in the driver's order: number = the
//               native error, sqlState = the SQLSTATE, description = "[SQLSTATE] message"
// Failures of the layer itself use ADO's own codes, source "ADODB.Connection" or "ADODB.Recordset"
// and ADO's wording (see the constants below), with no diagnostic records.
//
// Invariant: no ComError ever holds a connection string; the layer only puts driver diagnostics and
// its own fixed texts in it, and scrubs the password out of driver texts (see ConnectionString).
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <exception>
#include <string>

namespace ado {

using HResult = std::int32_t;

// One entry of the Errors collection: ADO's Error.Number and Error.Description, plus the SQLSTATE.
struct ErrorRecord {
    std::int32_t number = 0;  // the driver's native error code
    QString sqlState;         // five characters, e.g. "08001"
    QString description;      // "[" + sqlState + "] " + the diagnostic message
};

class ComError : public std::exception {
  public:
    // The fixed identity of a failing ODBC call.
    static constexpr HResult OdbcFailure = static_cast<HResult>(0x80004005);  // E_FAIL
    static constexpr const char* OdbcSource = "unixODBC";

    // ADO's own failures, with ADO's numbers.
    static constexpr HResult ProviderNotFound = static_cast<HResult>(0x800A0E7A);  // adErrProviderNotFound
    static constexpr HResult ObjectClosed = static_cast<HResult>(0x800A0E78);      // adErrObjectClosed
    static constexpr HResult ObjectOpen = static_cast<HResult>(0x800A0E79);        // adErrObjectOpen
    static constexpr HResult NoCurrentRecord = static_cast<HResult>(0x800A0BCD);   // adErrNoCurrentRecord
    static constexpr HResult ItemNotFound = static_cast<HResult>(0x800A0CC1);      // adErrItemNotFound
    static constexpr HResult InvalidArgument = static_cast<HResult>(0x800A0BB9);   // adErrInvalidArgument
    static constexpr HResult TypeMismatch = static_cast<HResult>(0x80020005);      // DISP_E_TYPEMISMATCH
    static constexpr HResult Overflow = static_cast<HResult>(0x8002000A);          // DISP_E_OVERFLOW

    ComError(HResult hresult, QString source, QString description, QList<ErrorRecord> errors = {});

    // An ODBC failure: OdbcFailure, OdbcSource, the first record's message as the description.
    static ComError fromDiagnostics(QList<ErrorRecord> errors);

    HResult hresult() const { return hresult_; }
    const QString& source() const { return source_; }
    const QString& description() const { return description_; }
    const QList<ErrorRecord>& errors() const { return errors_; }

    // The system's text for an HRESULT, as FormatMessage gives it without the trailing line break;
    // empty when the system has none (ADO's own 0x800A.... codes have none).
    static QString systemMessage(HResult hresult);

    // UTF-8 "source: description" for std::exception users.
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    HResult hresult_;
    QString source_;
    QString description_;
    QList<ErrorRecord> errors_;
    std::string what_;
};

}  // namespace ado
