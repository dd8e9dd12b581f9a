// What the engine decides before it reaches a source: its construction settings, the school year from the
// clock, and the teacher list's checks of its request. The runs against real sources are whole-engine
// tests (tests/integration/engine_*).
#include "engine/ExpEngine.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include "libraries/platform/Clock.h"
#include "writer/PackedVersion.h"

namespace {

struct LogLine {
    int level;
    QString message;
    QString method;
};

class ExpEngineTest : public ::testing::Test {
  protected:
    ExpEngineTest() {
        QObject::connect(&engine, &AppTaskBase::writeLog, &engine,
                         [this](int level, const QString& message, const QString& method) {
                             log.push_back({level, message, method});
                         });
        QObject::connect(
            &engine, &AppTaskBase::writeMissing, &engine,
            [this](const QString& key, const QString& message) { missing.append(key + "|" + message); });
    }
    ~ExpEngineTest() override { platform::Clock::clearFixed(); }

    bool logged(int level, const QString& message, const QString& method = QString()) const {
        for (const LogLine& line : log) {
            if (line.level == level && line.message == message &&
                (method.isEmpty() || line.method == method)) {
                return true;
            }
        }
        return false;
    }

    // Declared before the engine: its destructor still logs.
    std::vector<LogLine> log;
    QStringList missing;
    ExpEngine engine;
};

TEST_F(ExpEngineTest, ConstructionSettings) {
    EXPECT_EQ(engine.dbType(), ExpEngine::OracleDbType);
    EXPECT_EQ(engine.options(), ODBCDataAccess::CheckExistence);
    EXPECT_EQ(engine.settings().minVersion, PackedVersion::Parse("7.5.0"));
    EXPECT_TRUE(engine.settings().gradesDontCreateSections);
    EXPECT_EQ(engine.settings().maxExpectedTimeSlots, 20);
    EXPECT_EQ(engine.settings().timeFormat, "HH:NN");
    EXPECT_EQ(engine.setupSteps(), 0);
    EXPECT_EQ(engine.lookupSteps(), 1);
    EXPECT_EQ(engine.importSteps(), 20);
    EXPECT_EQ(engine.dailyAttSteps(), 7);
    EXPECT_EQ(engine.periodAttSteps(), 1);
    EXPECT_TRUE(engine.inactiveCutoff().IsNull());
    EXPECT_TRUE(engine.schoolStartDate().IsNull());
    EXPECT_FALSE(engine.defaultBell());
}

TEST_F(ExpEngineTest, SchoolYearFollowsTheClock) {
    platform::Clock::setFixed(QDateTime(QDate(2014, 6, 30), QTime(23, 59)));
    EXPECT_EQ(engine.CurrentSchoolYear(), "2013");
    platform::Clock::setFixed(QDateTime(QDate(2014, 7, 1), QTime(0, 0)));
    EXPECT_EQ(engine.CurrentSchoolYear(), "2014");
}

TEST_F(ExpEngineTest, BridgeListServesTeachersOnly) {
    QList<QStringList> records;
    EXPECT_FALSE(engine.LoadBridgeList(records, "school", {}));
    EXPECT_TRUE(logged(7, "This bridge is not set up for this type of paramkey:  school"));
    EXPECT_TRUE(missing.isEmpty());
}

TEST_F(ExpEngineTest, BridgeListReportsTheFirstMissingValueOnly) {
    struct Case {
        TaskValues values;
        const char* missingKey;
    };
    const Case cases[] = {
        {{{"user", "u"}, {"pwd", ""}, {"dsn", ""}, {"school", "1"}}, "pwd"},
        {{{"pwd", "p"}, {"dsn", "d"}, {"school", "1"}}, "user"},
        {{{"user", "u"}, {"pwd", "p"}, {"school", "1"}}, "dsn"},
        {{{"user", "u"}, {"pwd", "p"}, {"dsn", "d"}, {"school", ""}}, "school"},
    };
    for (const Case& c : cases) {
        missing.clear();
        QList<QStringList> records;
        EXPECT_FALSE(engine.LoadBridgeList(records, "teacher", c.values));
        EXPECT_EQ(missing.join(","), QString(c.missingKey) + "|" + c.missingKey + " missing or blank.");
    }
}

TEST_F(ExpEngineTest, ResetLUTEmptiesEverySet) {
    engine.rotationDays().insert("1");
    engine.sectionKeys().insert("S1");
    engine.bellKeys().insert("09");
    engine.reportingPeriods().insert("T1");
    engine.terms().insert({"T1", "Term 1", XDate(2024, 9, 1), XDate(2025, 1, 31)});
    engine.ResetLUT();
    EXPECT_TRUE(engine.rotationDays().isEmpty());
    EXPECT_TRUE(engine.sectionKeys().isEmpty());
    EXPECT_TRUE(engine.bellKeys().isEmpty());
    EXPECT_TRUE(engine.reportingPeriods().isEmpty());
    EXPECT_TRUE(engine.terms().isEmpty());
    EXPECT_TRUE(engine.includedStudents().isEmpty());
    EXPECT_TRUE(logged(7, "Start Reset LUT"));
    EXPECT_TRUE(logged(7, "End Reset LUT"));
}

}  // namespace
