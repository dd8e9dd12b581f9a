#include "libraries/ado/ComError.h"

#include <utility>

namespace ado {

ComError::ComError(HResult hresult, QString source, QString description, QList<ErrorRecord> errors)
    : hresult_(hresult),
      source_(std::move(source)),
      description_(std::move(description)),
      errors_(std::move(errors)),
      what_((source_ + QStringLiteral(": ") + description_).toStdString()) {}

ComError ComError::fromDiagnostics(QList<ErrorRecord> errors) {
    QString description;
    if (!errors.isEmpty()) {
        // The record's description carries the "[SQLSTATE] " prefix; the error's own description
        // is the driver's message as ADO shows it.
        const ErrorRecord& first = errors.first();
        description = first.description.mid(first.sqlState.size() + 3);
    }
    return ComError(OdbcFailure, QString::fromLatin1(OdbcSource), description, std::move(errors));
}

QString ComError::systemMessage(HResult hresult) {
    switch (static_cast<std::uint32_t>(hresult)) {
        case 0x80004005u:
            return QStringLiteral("Unspecified error");
        case 0x80004001u:
            return QStringLiteral("Not implemented");
        case 0x8007000Eu:
            return QStringLiteral("Not enough memory resources are available to complete this operation.");
        case 0x80070057u:
            return QStringLiteral("The parameter is incorrect.");
        case 0x80020005u:
            return QStringLiteral("Type mismatch.");
        case 0x8002000Au:
            return QStringLiteral("Out of present range.");
        default:
            return {};
    }
}

}  // namespace ado
