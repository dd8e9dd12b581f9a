// Fuzz target: the reader and the writer of "SchoolConfig.xml" (the import folder's record of the last
// run) and the dates it stores. Input: the file's bytes; its parts between NUL bytes are also taken as the
// values of the fourteen keys, in order, for a file the program writes.
//
// Checks: any bytes parse without fault; the stored update dates parse with the program's patterns; a
// file written from values the format can hold (no double quote, no line end: values are written
// unescaped, as the importer has always read them) reads back as written, and so does what was read.
#include "FuzzInput.h"

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "writer/SchoolConfig.h"

namespace {

bool holdable(const XString& value) {
    return value.find('"') < 0 && value.find('\r') < 0 && value.find('\n') < 0;
}

void checkRoundTrip(const SchoolConfig::Entries& entries) {
    for (const auto& [key, value] : entries) {
        if (!holdable(value)) {
            return;
        }
    }
    SchoolConfig::Entries again;
    FUZZ_CHECK(SchoolConfig::Parse(SchoolConfig::Serialize(entries), again));
    FUZZ_CHECK(again == entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const XString bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    SchoolConfig::Entries entries;
    if (!SchoolConfig::Parse(bytes, entries)) {
        FUZZ_CHECK(entries.empty());
    }
    checkRoundTrip(entries);
    const auto date = entries.find("UpdateDate");
    if (date != entries.end()) {
        XDate value;
        value.Parse(SchoolConfig::UpdateDatePattern, date->second);
        (void)value.Format(SchoolConfig::UpdateDatePattern);
    }
    const auto dateTime = entries.find("UpdateDateTime");
    if (dateTime != entries.end()) {
        XDateTime value;
        value.Parse(SchoolConfig::UpdateDateTimePattern, dateTime->second);
        (void)value.Format(SchoolConfig::UpdateDateTimePattern);
    }

    SchoolConfig::Entries written;
    const QList<QByteArray> values = fuzz::parts(data, size);
    for (int i = 0; i < SchoolConfig::KeyCount && i < values.size(); ++i) {
        const QByteArray& value = values.at(i);
        written[SchoolConfig::Keys[i].key] = XString(value.constData(), static_cast<int>(value.size()));
    }
    checkRoundTrip(written);
    return 0;
}
