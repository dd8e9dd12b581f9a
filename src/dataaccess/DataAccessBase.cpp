#include "dataaccess/DataAccessBase.h"

#include "dataaccess/FormatRules.h"
#include "dataaccess/PhoneNumber.h"
#include "libraries/support/XException.h"

#include <cmath>

namespace {

// 1 January 1900, a "no date" value of some sources.
const XDate year1900(1900, 1, 1);

}  // namespace

DataAccessBase::DataAccessBase(QObject* parent) : CDEWriter(parent) {
    BuildRelationshipTable();
}

DataAccessBase::~DataAccessBase() {
    report(Debug, "Start DataAccessBase Destructor");
    m_relationships.clear();
    report(Debug, "End DataAccessBase Destructor");
}

void DataAccessBase::CreateAttendanceFromDB() {
    CreateStudentAttendanceFromDB(false);
}

void DataAccessBase::CreateStudentAttendanceFromDB(bool /*filter*/) {}

bool DataAccessBase::AcceptAttendanceStudent(const XString& /*studentKey*/) {
    return true;
}

bool DataAccessBase::OpenTable(bool run, RowPasses passes) {
    const XString& title = currentTitle();
    report(Debug, "Opening " + title + " table/query.", "DataAccessBase::OpenTable");
    try {
        bool opened = false;
        for (int attempt = 0; run && attempt < m_openAttempts; ++attempt) {
            if (OpenQuery(passes) == 0) {
                opened = true;
                break;
            }
            Reconnect();
        }
        if (opened) {
            report(Debug, "Ran query");
            if (passes == RowPasses::Repeated) {
                GetRecordCount();
            } else {
                report(Debug, "Rows are read in one pass, not counted ahead.");
            }
            report(Debug, "Opened " + title + " table/query.");
            return true;
        }
    } catch (const XException& e) {
        reportAndThrow(Critical, "Failed with error [" + XString(e.message()) +
                                     "] while parsing query: " + BuildQuery());
    } catch (const char* text) {
        reportAndThrow(Critical,
                       "Failed with error [" + XString(text) + "] while parsing query: " + BuildQuery());
    } catch (...) {
        reportAndThrow(Critical, "Failed with unknown error while parsing query: " + BuildQuery());
    }
    report(Informational, "Open table " + title + " failed, skipping.");
    return false;
}

void DataAccessBase::BeginHeader(const XString& title, const XString& fileName, int includeKind) {
    CDEWriter::BeginHeader(title, fileName, includeKind);
    ClearColumnBindings();
    ClearQuery();
}

void DataAccessBase::EndHeader() {
    CloseQuery();
    ClearColumnBindings();
    ClearQuery();
    EndTableHook();
    CDEWriter::EndHeader();
}

void DataAccessBase::EndTableHook() {}

DataAccessField* DataAccessBase::currentField() const {
    const ColumnBinding* binding = CurrentBinding();
    return binding ? binding->field : nullptr;
}

ColumnBinding::ValueKind DataAccessBase::valueKindOf(Formatter formatter) {
    if (formatter == &DataAccessBase::FormatText || formatter == &DataAccessBase::FormatOneLine ||
        formatter == &DataAccessBase::FormatOneLineTabs) {
        return ColumnBinding::ValueKind::ColumnText;
    }
    if (formatter == &DataAccessBase::FormatDate) {
        return ColumnBinding::ValueKind::ColumnDate;
    }
    return ColumnBinding::ValueKind::Formatted;
}

void DataAccessBase::AppendBoundValue(const ColumnBinding& binding, std::string& out) {
    switch (binding.valueKind) {
        case ColumnBinding::ValueKind::ColumnText:
            AppendFieldText(binding.field, TextRule::Column, out);
            break;
        case ColumnBinding::ValueKind::ColumnDate:
            if (binding.field) {
                FormatRules::appendDate(GetFieldDate(binding.field), settings().dateFormat, out);
            }
            break;
        default:
            CDEWriter::AppendBoundValue(binding, out);
            break;
    }
}

XDate DataAccessBase::BindingDate(const ColumnBinding& binding) {
    if (binding.valueKind != ColumnBinding::ValueKind::ColumnDate) {
        return CDEWriter::BindingDate(binding);
    }
    return binding.field ? GetFieldDate(binding.field) : XDate();
}

XString DataAccessBase::fieldText(DataAccessField* field, TextRule rule) {
    std::string text;
    AppendFieldText(field, rule, text);
    return XString(std::move(text));
}

XString DataAccessBase::FormatText() {
    return textOf(currentField());
}

XString DataAccessBase::FormatTrimmed() {
    DataAccessField* field = currentField();
    return field ? GetFieldText(field).trimmed() : XString();
}

XString DataAccessBase::FormatUpper() {
    return FormatText().toUpper();
}

XString DataAccessBase::FormatQuoted() {
    return currentField() ? "\"" + FormatText() + "\"" : XString();
}

XString DataAccessBase::FormatNoZero() {
    return FormatRules::noZero(FormatText());
}

XString DataAccessBase::FormatNoZeroOf(const XString& text) {
    return FormatRules::noZero(text);
}

XString DataAccessBase::FormatNoZeroToo() {
    return FormatNoZero();
}

XString DataAccessBase::FormatNoNA() {
    return FormatRules::noNA(FormatText());
}

XString DataAccessBase::FormatPhone() {
    XString complaint;
    const XString phone = PhoneNumber::format(FormatRules::noNA(FormatText()), complaint);
    if (!complaint.isEmpty()) {
        report(Informational, complaint);
    }
    return phone;
}

XString DataAccessBase::FormatOneLine() {
    return FormatRules::oneLine(FormatText());
}

XString DataAccessBase::FormatOneLineTabs() {
    return FormatRules::oneLine(FormatText());
}

XString DataAccessBase::FormatOneLineOf(const XString& text) {
    return FormatRules::oneLine(text);
}

XString DataAccessBase::FormatMoney() {
    DataAccessField* field = currentField();
    return field ? "$" + XString(GetFieldDouble(field), 2) : XString();
}

XString DataAccessBase::FormatDate() {
    DataAccessField* field = currentField();
    return field ? FormatRules::date(GetFieldDate(field), settings().dateFormat) : XString();
}

XString DataAccessBase::FormatDateOf(DataAccessField* field) {
    if (!field) {
        field = currentField();
    }
    if (!field) {
        return XString();
    }
    const XDate date = GetFieldDate(field);
    return date == year1900 ? XString() : date.Format(settings().dateFormat);
}

XString DataAccessBase::FormatDateOfCurrent() {
    return FormatDateOf(currentField());
}

XString DataAccessBase::FormatDateNoSentinel(DataAccessField* field) {
    if (!field) {
        field = currentField();
    }
    if (!field) {
        return XString();
    }
    const XDate date = GetFieldDate(field);
    if (date.IsNull() || date.DayNumber() == 0 || date.DayNumber() == XDate::OleDateZero ||
        date == year1900) {
        return XString();
    }
    return date.Format(settings().dateFormat);
}

XString DataAccessBase::FormatDateNoSentinelOfCurrent() {
    return FormatDateNoSentinel(currentField());
}

XString DataAccessBase::FormatDateNoZero() {
    return FormatRules::noZero(FormatDate());
}

XString DataAccessBase::FormatTime() {
    DataAccessField* field = currentField();
    return field ? GetFieldTime(field).Format(settings().timeFormat) : XString();
}

XString DataAccessBase::FormatDateTime() {
    DataAccessField* field = currentField();
    return field ? GetFieldDateTime(field).Format(settings().dateTimeFormat) : XString();
}

XString DataAccessBase::FormatDateTimeAsDate() {
    DataAccessField* field = currentField();
    return field ? GetFieldDateTime(field).Format(settings().dateFormat) : XString();
}

XString DataAccessBase::FormatInt() {
    DataAccessField* field = currentField();
    return field ? XString(static_cast<int>(GetFieldInt(field))) : XString();
}

XString DataAccessBase::FormatIntNoZero() {
    return FormatRules::noZero(FormatInt());
}

bool DataAccessBase::IsTrue(DataAccessField* field) {
    if (!field) {
        field = currentField();
    }
    return field && GetFieldBool(field);
}

XString DataAccessBase::YesNoOf(bool value) {
    return value ? "Yes" : "No";
}

XString DataAccessBase::FormatYesNo() {
    return YesNoOf(IsTrue(currentField()));
}

XString DataAccessBase::FormatNoYes() {
    return FormatNoYesOf(currentField());
}

XString DataAccessBase::FormatNoYesOf(DataAccessField* field) {
    return YesNoOf(!(field && GetFieldBool(field)));
}

XString DataAccessBase::YesBlankOf(bool value) {
    return value ? "Yes" : "";
}

XString DataAccessBase::FormatYesBlank() {
    return FormatYesBlankOf(currentField());
}

XString DataAccessBase::FormatYesBlankOf(DataAccessField* field) {
    return YesBlankOf(field && GetFieldBool(field));
}

XString DataAccessBase::FormatOneZero() {
    return IsTrue(currentField()) ? "1" : "0";
}

XString DataAccessBase::FormatFlag() {
    return FormatRules::flag(FormatText());
}

bool DataAccessBase::IsTextTrue() {
    return FormatRules::isTextTrue(FormatText());
}

XString DataAccessBase::FormatWhole() {
    DataAccessField* field = currentField();
    if (!field) {
        return XString();
    }
    const double value = std::round(GetFieldDouble(field));
    return XString::formatted("%.0f", value == 0.0 ? 0.0 : value);
}

XString DataAccessBase::FormatFloat() {
    DataAccessField* field = currentField();
    return field ? XString(static_cast<double>(GetFieldFloat(field)), 6) : XString();
}

XString DataAccessBase::FormatRounded(DataAccessField* field) {
    if (!field) {
        field = currentField();
    }
    return field ? XString(static_cast<double>(GetFieldFloat(field)), 0) : XString();
}

XString DataAccessBase::FormatRoundedOf(DataAccessField* field) {
    return FormatRounded(field);
}

XString DataAccessBase::FormatActivityKind() {
    return FormatRules::activityKind(FormatText());
}

XString DataAccessBase::FormatGsPrefixOf(const XString& text) {
    return "gs_" + text;
}

XString DataAccessBase::FormatGsPrefix() {
    return currentField() ? FormatGsPrefixOf(FormatText()) : XString();
}

void DataAccessBase::BuildRelationshipTable() {
    m_relationships.clear();
    m_relationships.addStandardKeys();
}

XString DataAccessBase::RelationshipCategory(const XString& description) {
    return m_relationships.category(description);
}

XString DataAccessBase::GetFieldIntText(DataAccessField* field) {
    return field ? FormatRules::noZero(XString(static_cast<int>(GetFieldInt(field)))) : XString();
}
