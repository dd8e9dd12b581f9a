// Linked into every test program: points the process at the sample sources and the private PostgreSQL
// server that ctest's fixture sets up for this build folder (scripts/test-sources.sh), so that a plain
// ctest, or a test program started by hand, reaches the same sources as ./test.sh. Values already in
// the environment win, which lets a person aim the tests at other sources.
//
// Runs before main, so before the first ODBC call of the process (unixODBC reads ODBCINI once).
#include <QByteArray>

namespace {

void setDefault(const char* name, const QByteArray& value) {
    if (qEnvironmentVariableIsEmpty(name)) {
        qputenv(name, value);
    }
}

struct TestEnvironment {
    TestEnvironment() {
        setDefault("NORV_TEST_ROOT", QByteArray(NORV_BINARY_DIR) + "/testenv");
        setDefault("NORV_PG_PORT", QByteArray::number(NORV_TEST_PG_PORT));
        setDefault("ODBCINI", qgetenv("NORV_TEST_ROOT") + "/odbc.ini");
    }
};

const TestEnvironment kTestEnvironment;

}  // namespace
