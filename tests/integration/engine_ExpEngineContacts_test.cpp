// The student contact tables against the real sample sources, compared with files computed here from the
// generator's data: contact keys, joined work phones, contacts shared by siblings and the student selection.
#include <gtest/gtest.h>

#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

QByteArray workPhone(const QJsonValue& phone, const QJsonValue& extension) {
    const QByteArray number = outputText(phone);
    const QByteArray ext = columnText(extension);
    return number.isEmpty() ? ext : ext.isEmpty() ? number : number + " x" + ext;
}

// The contact rows of the selection's included students, once per demographic row the join keeps.
template <typename Line>
QList<QByteArray> expectedContacts(const char* view, const Selection& selection, Line line) {
    const std::set<QByteArray> included = includedPupils(selection);
    QList<QByteArray> lines;
    for (const Row& r : SampleData::instance().rows(view)) {
        if (included.count(columnText(r.at("pupil_number"))) == 0) {
            continue;
        }
        for (int n = selectedRows(selection, r.at("pupil_number")); n > 0; --n) {
            lines.append(joinLine(line(r)));
        }
    }
    return sortedLines(lines.join());
}

QList<QByteArray> expectedParents(const Selection& selection) {
    return expectedContacts("V_VLMR_STU_CONTACT_PARENTS", selection, [](const Row& r) {
        return QList<QByteArray>{outputText(r.at("pupil_number")),
                                 columnText(r.at("par_first_name")) + " " + outputText(r.at("par_surname")),
                                 outputText(r.at("par_surname")),
                                 outputText(r.at("par_first_name")),
                                 outputText(r.at("parent_type_desc")),
                                 outputText(r.at("prefix")),
                                 singleLine(r.at("address")),
                                 outputText(r.at("phone")),
                                 r.at("unlisted").toInt() == 1 ? "Yes" : "",
                                 outputText(r.at("mobile_phone")),
                                 workPhone(r.at("work_phone"), r.at("work_extention")),
                                 outputText(r.at("voice_mail")),
                                 outputText(r.at("fax_no")),
                                 outputText(r.at("language_desc")),
                                 outputText(r.at("living_with")),
                                 outputText(r.at("emergency_contact")),
                                 "Family"};
    });
}

QList<QByteArray> expectedEmergency(const Selection& selection) {
    return expectedContacts("V_VLMR_EMERGENCY_CONTACTS", selection, [](const Row& r) {
        return QList<QByteArray>{outputText(r.at("pupil_number")),
                                 columnText(r.at("em_first_name")) + " " + outputText(r.at("em_surname")),
                                 outputText(r.at("em_surname")),
                                 outputText(r.at("em_first_name")),
                                 outputText(r.at("relationship_desc")),
                                 singleLine(r.at("address")),
                                 outputText(r.at("HOME_PHONE")),
                                 outputText(r.at("MOBILE_PHONE")),
                                 workPhone(r.at("WORK_PHONE"), r.at("WORK_PHONE_EXT")),
                                 outputText(r.at("PAGER")),
                                 outputText(r.at("VOICE_MAIL")),
                                 outputText(r.at("FAX_NO")),
                                 outputText(r.at("language_desc")),
                                 outputText(r.at("can_pickup")),
                                 "Emergency",
                                 valueText(r.at("CALL_SEQUENCE"))};
    });
}

// Whether some line has a field that satisfies test.
template <typename Test>
bool anyField(const QList<QByteArray>& lines, int index, Test test) {
    return std::any_of(lines.begin(), lines.end(), [&](const QByteArray& line) {
        const QList<QByteArray> fields = line.split('\t');
        return fields.size() > index && test(fields[index]);
    });
}

class StudentContacts : public SampleSourceTest {};

TEST_P(StudentContacts, ParentsAndEmergencyContactsOfIncludedStudents) {
    const Extraction& run = fullExtraction(source, "1021");
    ASSERT_TRUE(run.succeeded);
    const Selection selection{"1021", QString()};
    const QList<QByteArray> parents = expectedParents(selection);
    const QList<QByteArray> emergency = expectedEmergency(selection);

    // The sample holds what the rules are about: a key without first name, the three work phone shapes.
    ASSERT_TRUE(anyField(parents, 1, [](const QByteArray& key) { return key == " Lee"; }));
    for (const char* work : {"555-1234 x12", "555-1234", "12"}) {
        ASSERT_TRUE(anyField(parents, 10, [&](const QByteArray& phone) { return phone == work; })) << work;
    }
    ASSERT_TRUE(anyField(parents, 8, [](const QByteArray& unlisted) { return unlisted == "Yes"; }));

    EXPECT_EQ(sortedLines(run.file("StudentParent.cef")), parents);
    EXPECT_EQ(sortedLines(run.file("StudentConEmerg.cef")), emergency);
}

TEST_P(StudentContacts, SharedContactIsWrittenForEachStudent) {
    const Extraction& run = fullExtraction(source, "1021");
    std::set<QByteArray> pupils;
    for (const QByteArray& line : sortedLines(run.file("StudentConEmerg.cef"))) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.value(1) == "Grace Okafor") {
            pupils.insert(fields[0]);
            EXPECT_EQ(fields.value(8), "705-555-0102 x7");
        }
    }
    EXPECT_EQ(pupils.size(), 2u);
}

TEST_P(StudentContacts, WithdrawnStudentsContactsFollowTheInactiveDate) {
    // Every student that withdrew this year is kept from an early cutoff on.
    const Selection selection{"2040", "1990-01-01"};
    QTemporaryDir folder;
    EngineHarness harness;
    ASSERT_TRUE(harness.run(source, folder.path(), "2040", BridgeTaskBase::FullExtract,
                            {{"inactivedate", "01/01/1990"}}));
    EXPECT_EQ(sortedLines(readFile(folder.path() + "/StudentParent.cef")), expectedParents(selection));
    EXPECT_EQ(sortedLines(readFile(folder.path() + "/StudentConEmerg.cef")), expectedEmergency(selection));
}

INSTANTIATE_TEST_SUITE_P(Sources, StudentContacts,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
