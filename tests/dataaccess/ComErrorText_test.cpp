#include "dataaccess/ComErrorText.h"

#include <gtest/gtest.h>

namespace {

TEST(ComErrorText, ListsEveryRecordThenTheError) {
    const QList<ado::ErrorRecord> records = {
        {-1, "08001", "[08001] could not connect to server"},
        {210, "28P01", "[28P01] password authentication failed"},
    };
    const ado::ComError error = ado::ComError::fromDiagnostics(records);
    EXPECT_EQ(ComErrorText::build(&records, error).toStdString(),
              "Error number: ffffffff\t[08001] could not connect to server\r\n"
              "Error number: d2\t[28P01] password authentication failed\r\n"
              "COM Error Code = 80004005, Code Meaning = Unspecified error\r\n"
              "Source = unixODBC, Description = could not connect to server");
    // Without a connection only the error itself is described.
    EXPECT_EQ(ComErrorText::build(nullptr, error).toStdString(),
              "COM Error Code = 80004005, Code Meaning = Unspecified error\r\n"
              "Source = unixODBC, Description = could not connect to server");
}

TEST(ComErrorText, CodeMeanings) {
    EXPECT_EQ(ComErrorText::codeMeaning(ado::ComError::ObjectClosed).toStdString(),
              "Unknown error 0x800A0E78");
    EXPECT_EQ(ComErrorText::codeMeaning(static_cast<ado::HResult>(0x80040205)).toStdString(),
              "IDispatch error #5");
}

TEST(ComErrorText, LinesAreCutAtTheirBufferSize) {
    const QList<ado::ErrorRecord> records = {{1, "HY000", QString(2000, QChar('m'))}};
    const XString text = ComErrorText::build(&records, ado::ComError(ado::ComError::OdbcFailure, "s", "d"));
    const int firstLineEnd = text.find("COM Error Code");
    EXPECT_EQ(firstLineEnd, 999);  // "Error number: 1\t" + message, cut to 999 bytes, without its line break
}

TEST(ComErrorText, ClassifiesOracleConnectionLoss) {
    EXPECT_EQ(ComErrorText::classify("ORA-03113: end-of-file on communication channel"), 1629);
    EXPECT_EQ(ComErrorText::classify("x ORA-03135: connection lost contact"), 1629);
    EXPECT_EQ(ComErrorText::classify("ORA-12170: TNS:Connect timeout occurred"), 12170);
    EXPECT_EQ(ComErrorText::classify("ORA-00942: table or view does not exist"), 1);
    EXPECT_EQ(ComErrorText::classify(""), 1);
}

}  // namespace
