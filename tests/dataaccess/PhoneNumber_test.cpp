#include "dataaccess/PhoneNumber.h"

#include <gtest/gtest.h>

namespace {

TEST(PhoneNumber, FormatsByDigitCount) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"", ""},
        {"5551234", "555-1234"},
        {"555-1234", "555-1234"},
        {"55512345", "55512345"},
        {"555123456", "555123456"},
        {"5551234567", "555 123-4567"},
        {"(555) 123-4567", "555 123-4567"},
        {"15551234567", "+1-555-123-4567"},
        {"123456789012", "+12 345 678-9012"},
        {"1234567890123", "+123 456 789-0123"},
        {"12345678901234", "+1234 567 890-1234"},
        {"(555) 123-4567 ext 89", "555 123-4567 x89"},
        {"5551234x12", "555-1234 x12"},
        {"555-1234 Ext9", "555-1234 x9"},
    };
    for (const Case& c : cases) {
        XString complaint("stale");
        EXPECT_EQ(PhoneNumber::format(c.input, complaint).toStdString(), c.expected) << c.input;
        EXPECT_TRUE(complaint.isEmpty()) << c.input;
    }
}

TEST(PhoneNumber, KeepsWhatIsNotANumberAndComplains) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"555 12", "555 12"},              // too few digits
        {"555.123.4567", "555.123.4567"},  // not digits
        {"555-CALL-NOW", "555-CALL-NOW"},  // letters
        {"+1 555 123 4567", "+1 555 123 4567"},
        {"555 12 x7", "555 12 x7 x7"},  // the extension is still appended
    };
    for (const Case& c : cases) {
        XString complaint;
        EXPECT_EQ(PhoneNumber::format(c.input, complaint).toStdString(), c.expected) << c.input;
        EXPECT_EQ(
            complaint.toStdString(),
            std::string("Phone number: ") + c.input +
                ", cannot parse into right format.  This means that the phone number in your database is "
                "not in phone number format.");
    }
}

}  // namespace
