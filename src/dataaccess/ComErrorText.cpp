#include "dataaccess/ComErrorText.h"

namespace {

// Interface-defined codes (FACILITY_ITF from 0x200 on) carry a dispatch error number.
constexpr uint32_t firstDispatchCode = 0x80040200u;
constexpr uint32_t lastDispatchCode = 0x8004FFFFu;
// Each line is formatted into a buffer of this many bytes.
constexpr int lineLimit = 1000;

}  // namespace

XString ComErrorText::codeMeaning(ado::HResult code) {
    const QString system = ado::ComError::systemMessage(code);
    if (!system.isEmpty()) {
        return XString(system);
    }
    const auto bits = static_cast<uint32_t>(code);
    if (bits >= firstDispatchCode && bits <= lastDispatchCode) {
        return XString::formatted("IDispatch error #%d", static_cast<int>(bits - firstDispatchCode));
    }
    return XString::formatted("Unknown error 0x%0X", bits);
}

XString ComErrorText::build(const QList<ado::ErrorRecord>* connectionErrors, const ado::ComError& error) {
    XString text;
    if (connectionErrors) {
        for (const ado::ErrorRecord& record : *connectionErrors) {
            XString line;
            line.formatLimited(lineLimit, "Error number: %x\t%s\r\n", static_cast<uint32_t>(record.number),
                               XString(record.description).c_str());
            text += line;
        }
    }
    XString summary;
    summary.formatLimited(lineLimit,
                          "COM Error Code = %08x, Code Meaning = %s\r\nSource = %s, Description = %s",
                          static_cast<uint32_t>(error.hresult()), codeMeaning(error.hresult()).c_str(),
                          XString(error.source()).c_str(), XString(error.description()).c_str());
    return text + summary;
}

int ComErrorText::classify(const XString& text) {
    if (text.contains("ORA-03135") || text.contains("ORA-03113")) {
        return ConnectionLost;
    }
    if (text.contains("ORA-12170")) {
        return ConnectTimeout;
    }
    return Fatal;
}
