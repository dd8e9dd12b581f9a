// ODBCDataAccess, the value path: running the declared query as the current result, stepping through its
// records, and the typed readers that turn the current record's values into text, numbers, dates and truth
// values.
#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/DbType.h"
#include "dataaccess/FormatRules.h"
#include "dataaccess/ValueTranslation.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"
#include "libraries/support/XException.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace {

// Formats with the system's "raise with a format" rule: cut to 1024 characters, thrown, not logged.
[[noreturn]] void raise(const char* format, const XString& argument) {
    XException::raise(0, format, argument.c_str());
}

}  // namespace

// --- Running and stepping ---

bool ODBCDataAccess::ExecuteQuery() {
    return OpenQuery() == 0;
}

int ODBCDataAccess::OpenQuery(RowPasses passes) {
    return RunQuery(BuildQuery(), passes);
}

int ODBCDataAccess::RunQuery(const XString& queryText, RowPasses passes) {
    report(Debug, "Running Query", "ODBCDataAccess::RunQuery");
    if (m_dbType == DbType::DBaseXBase) {
        return 0;
    }
    try {
        m_recordset = std::make_unique<ado::Recordset>();
    } catch (const std::exception&) {
        raise("Failed to create query object for: %s", BuildQuery());
    }
    report(Proprietary, queryText);
    try {
        m_recordset->setCursorLocation(ado::Recordset::adUseClient);
        m_recordset->setCursorType(ado::Recordset::adOpenStatic);
        m_recordset->open(
            queryText.toQString(), *m_connection,
            ((m_options & ForwardOnly) || passes == RowPasses::Once) ? ado::Recordset::adOpenForwardOnly
                                                                     : ado::Recordset::adOpenStatic,
            (m_options & Pessimistic) ? ado::Recordset::adLockPessimistic : ado::Recordset::adLockReadOnly,
            ado::Recordset::adCmdText);
    } catch (const ado::ComError& e) {
        const XString text = ComErrorText(m_connection.get(), e);
        report(Proprietary, "RunQuery: While executing: " + queryText + ", " + text);
        const int status = ClassifyConnectionError(text);
        if (status > 1) {
            return status;
        }
        raise("While executing query: %s", ComErrorText(m_connection.get(), e));
    }
    return 0;
}

bool ODBCDataAccess::GetFirstRecord() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return false;
    }
    try {
        if (m_recordset->eof() && m_recordset->bof()) {
            return false;
        }
        m_recordset->moveFirst();
        return !m_recordset->eof();
    } catch (const ado::ComError& e) {
        report(Debug, "GetFirstRecord Error: " + XString(e.description()));
    } catch (...) {
        report(Debug, "GetFirstRecord Error: Unknown");
    }
    return false;
}

bool ODBCDataAccess::GetNextRecord() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return false;
    }
    try {
        m_recordset->moveNext();
        return !m_recordset->eof();
    } catch (const ado::ComError& e) {
        // Moving past the end is the end; anything else is the source failing while a forward-only result
        // is fetched, and reading that as the end would cut the table short without a word.
        if (e.hresult() == ado::ComError::NoCurrentRecord || e.hresult() == ado::ComError::ObjectClosed) {
            return false;
        }
        throw XException(ComErrorText(m_connection.get(), e).toStdString());
    }
}

void ODBCDataAccess::CloseQuery() {
    ClearQuery();
    if (m_dbType == DbType::DBaseXBase) {
        return;
    }
    if (m_recordset && m_recordset->isOpen()) {
        m_recordset->close();
    }
    m_recordset.reset();
}

int ODBCDataAccess::GetRecordCount() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return 0;
    }
    long long count = -1;
    try {
        count = m_recordset->recordCount();
        report(Debug, "GetRecordCount: Finishing Getting Record Count.");
    } catch (const ado::ComError& e) {
        report(Debug, "GetRecordCount: " + ComErrorText(m_connection.get(), e));
        count = -1;
    }
    report(Debug, "GetRecordCount: Validating RecordCount.");
    if (count == -1) {
        report(Debug, "GetRecordCount: Lets determine record count manually.");
        count = 0;
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            ++count;
        }
    } else {
        report(Debug, "GetRecordCount: Driver supports RecordCount");
    }
    const int result = static_cast<int>(std::min<long long>(count, 0x7FFFFFFF));
    report(Debug, "GetRecordCount: Found Record Count of " + XString(result));
    return result;
}

// --- Typed readers ---

bool ODBCDataAccess::readable(DataAccessField* field) const {
    return field && m_dbType != DbType::DBaseXBase && m_recordset;
}

ado::Variant ODBCDataAccess::valueOf(DataAccessField* field) {
    const auto* odbcField = static_cast<const ODBCField*>(field);
    if (m_options & ValuesByName) {
        return m_recordset->field(odbcField->name.toQString()).value();
    }
    return m_recordset->value(odbcField->ordinal);
}

void ODBCDataAccess::warnOracleInteger() {
    report(Warning, "Possibly wrong type trying as Int", "ODBCDataAccess::TranslateInt");
}

XString ODBCDataAccess::VariantText(const ado::Variant& value) {
    return ValueTranslation::text(value, m_dbType, [this] { warnOracleInteger(); });
}

int32_t ODBCDataAccess::TranslateInt(const ado::Variant& value) {
    return ValueTranslation::toInt(value, m_dbType, [this] { warnOracleInteger(); });
}

bool ODBCDataAccess::TranslateBool(const ado::Variant& value) {
    return ValueTranslation::toBool(value);
}

XString ODBCDataAccess::GetFieldRawText(DataAccessField* field) {
    if (!readable(field)) {
        return XString();
    }
    try {
        if (!(m_options & ValuesByName)) {
            // Text, the most common value, is narrowed where the recordset holds it.
            const auto text = m_recordset->textValue(static_cast<const ODBCField*>(field)->ordinal);
            if (text) {
                return ValueTranslation::narrow(*text);
            }
        }
    } catch (const ado::ComError& e) {
        throwFieldError(field, e);
    }
    return variantText(field);
}

XString ODBCDataAccess::variantText(DataAccessField* field) {
    try {
        return VariantText(valueOf(field));
    } catch (const ado::ComError& e) {
        throwFieldError(field, e);
    }
}

void ODBCDataAccess::throwFieldError(DataAccessField* field, const ado::ComError& error) {
    int status = 0;
    try {
        const auto* odbcField = static_cast<const ODBCField*>(field);
        status = (m_options & ValuesByName) ? m_recordset->field(odbcField->name.toQString()).status()
                                            : m_recordset->field(odbcField->ordinal).status();
    } catch (const ado::ComError&) {
        // The column itself cannot be found: its status stays OK, the error text says why.
    }
    const XString text =
        ComErrorText(m_connection.get(), error) + " Field Status: " + ValueTranslation::statusText(status);
    throw XException(text.toStdString(), status);
}

void ODBCDataAccess::AppendFieldText(DataAccessField* field, TextRule rule, std::string& out) {
    if (!readable(field)) {
        return;
    }
    if (!(m_options & ValuesByName)) {
        // Text and whole numbers, the most common values, are read where the recordset holds them.
        const int ordinal = static_cast<const ODBCField*>(field)->ordinal;
        std::optional<std::u16string_view> text;
        std::optional<std::int64_t> number;
        try {
            text = m_recordset->textValue(ordinal);
            if (!text) {
                number = m_recordset->integerValue(ordinal);
            }
        } catch (const ado::ComError& e) {
            throwFieldError(field, e);
        }
        if (text) {
            ValueTranslation::appendText(*text, rule, out);
            return;
        }
        if (number) {
            // Its decimal text, as VariantText writes it: nothing for the rules to change.
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, *number).ptr;
            out.append(digits, static_cast<std::size_t>(end - digits));
            return;
        }
    }
    // Neither: the value's text as VariantText makes it (the fast paths above have said no already).
    FormatRules::appendRuled(variantText(field), rule, out);
}

XString ODBCDataAccess::GetFieldText(DataAccessField* field) {
    return fieldText(field, TextRule::Field);
}

XString ODBCDataAccess::GetFieldSingleLine(DataAccessField* field) {
    return textOf(field);
}

ByteBuffer ODBCDataAccess::GetFieldBytes(DataAccessField* field) {
    ByteBuffer buffer(50);
    if (!readable(field)) {
        return buffer;
    }
    const auto* odbcField = static_cast<const ODBCField*>(field);
    try {
        ado::Field column = (m_options & ValuesByName) ? m_recordset->field(odbcField->name.toQString())
                                                       : m_recordset->field(odbcField->ordinal);
        const long long size = column.actualSize();
        const ado::Variant value =
            (column.attributes() & ado::adFldLong) ? column.getChunk(size) : column.value();
        if (value.type() == (ado::VT_ARRAY | ado::VT_UI1)) {
            const QByteArray& bytes = value.bytes();
            buffer.assign(bytes.constData(), static_cast<int>(std::min<long long>(size, bytes.size())));
        } else if (value.type() == ado::VT_BSTR) {
            const XString text = ValueTranslation::narrow(value.text());
            buffer.assign(text.c_str(), std::min(static_cast<int>(size), text.length()));
        }
    } catch (...) {
        report(Debug, "Could not read ByteArray Field value from " + odbcField->name);
        buffer.clear();
    }
    return buffer;
}

XDate ODBCDataAccess::GetFieldDate(DataAccessField* field) {
    if (!readable(field)) {
        return XDate();
    }
    std::optional<double> date;
    if (!(m_options & ValuesByName)) {
        // A date, read where the recordset holds it.
        date = m_recordset->dateValue(static_cast<const ODBCField*>(field)->ordinal);
    }
    if (!date) {
        const ado::Variant value = valueOf(field);
        if (value.type() != ado::VT_DATE) {
            return XDate();
        }
        date = value.r8();
    }
    const ado::DateParts parts = ado::Variant::dateParts(*date);
    return XDate(parts.year, parts.month, parts.day);
}

XDateTime ODBCDataAccess::GetFieldDateTime(DataAccessField* field) {
    if (!readable(field)) {
        return XDateTime();
    }
    const ado::Variant value = valueOf(field);
    if (value.type() != ado::VT_DATE) {
        return XDateTime();
    }
    const ado::DateParts parts = ado::Variant::dateParts(value.r8());
    return XDateTime(XDate(parts.year, parts.month, parts.day),
                     XTime(parts.hour, parts.minute, parts.second, parts.millisecond));
}

XTime ODBCDataAccess::GetFieldTime(DataAccessField* field) {
    if (!readable(field)) {
        return XTime();
    }
    const ado::Variant value = valueOf(field);
    if (value.type() != ado::VT_DATE) {
        return XTime();
    }
    const ado::DateParts parts = ado::Variant::dateParts(value.r8());
    return XTime(parts.hour, parts.minute, parts.second, parts.millisecond);
}

int32_t ODBCDataAccess::GetFieldInt(DataAccessField* field) {
    return readable(field) ? TranslateInt(valueOf(field)) : 0;
}

int32_t ODBCDataAccess::GetFieldLong(DataAccessField* field) {
    if (!readable(field)) {
        return 0;
    }
    return ValueTranslation::toInt(
        valueOf(field), m_dbType, [this] { warnOracleInteger(); }, true);
}

float ODBCDataAccess::GetFieldFloat(DataAccessField* field) {
    return readable(field) ? static_cast<float>(ValueTranslation::toDouble(valueOf(field), false)) : 0.0f;
}

double ODBCDataAccess::GetFieldDouble(DataAccessField* field) {
    return readable(field) ? ValueTranslation::toDouble(valueOf(field), true) : 0.0;
}

bool ODBCDataAccess::GetFieldBool(DataAccessField* field) {
    return readable(field) && TranslateBool(valueOf(field));
}

XString ODBCDataAccess::GetFieldBoolDigit(DataAccessField* field) {
    if (!field) {
        return XString();
    }
    return GetFieldBool(field) ? "1" : "0";
}

bool ODBCDataAccess::IsFieldNull(DataAccessField* field) {
    return readable(field) && valueOf(field).isNull();
}

XString ODBCDataAccess::GetFieldTextNoZero(DataAccessField* field) {
    return FormatRules::noZero(GetFieldText(field));
}

XString ODBCDataAccess::GetFieldTextNoNA(DataAccessField* field) {
    return FormatRules::noNA(GetFieldText(field));
}

XString ODBCDataAccess::GetFieldSingleLineNoZero(DataAccessField* field) {
    return FormatRules::noZero(GetFieldSingleLine(field).trimmed());
}

XDate ODBCDataAccess::GetFieldDateNo1900(DataAccessField* field) {
    const XDate date = GetFieldDate(field);
    return date == XDate(1900, 1, 1) ? XDate() : date;
}
