# norv_layer(name dir deps...): the static library norv_<name> from every .cpp in dir (main.cpp excepted).
function(norv_layer name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(norv_${name} STATIC ${sources} ${headers})
  target_precompile_headers(norv_${name} REUSE_FROM norv_layer_pch)
  # A layer's sources compile a few to a unit: the builds are most of ./test.sh's time.
  set_target_properties(norv_${name} PROPERTIES UNITY_BUILD ON)
  target_include_directories(norv_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(norv_${name} PUBLIC ${ARGN})
endfunction()

# Sources whose file-local helpers share names with another source of their layer (the date and time
# parsers' character tests and floor division), compiled as units of their own.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/libraries/support/XDateTime.cpp
  ${CMAKE_SOURCE_DIR}/src/libraries/support/XTime.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)

# The crash-consistency tests: whole-program runs killed (SIGKILL through strace) at chosen system calls,
# which check what a killed run leaves on disk. They find no memory errors that the other tests do not, and
# the sanitizers and ptrace together make them the slowest part of the suite, so only the normal build runs
# them (a gtest filter; ./test.sh says so when it starts the sanitizer tests).
set(NORV_CRASH_TESTS "AttendanceKilled.*:CliKill.*")

# norv_tests(name dir [SOURCES] libs...): one GoogleTest executable norv_<name>_tests from dir/*_test.cpp,
# plus any helper sources (*.cpp without _test) in dir; each test case becomes one CTest test. SOURCES:
# the suite reads the sample sources or the PostgreSQL server, so its tests require the fixture that
# sets them up (scripts/test-sources.sh).
function(norv_tests name dir)
  cmake_parse_arguments(arg "SOURCES" "" "" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(norv_${name}_tests ${sources} $<TARGET_OBJECTS:norv_test_environment>)
  target_link_libraries(norv_${name}_tests PRIVATE ${arg_UNPARSED_ARGUMENTS} GTest::gtest GTest::gtest_main)
  norv_test_code(norv_${name}_tests)
  target_precompile_headers(norv_${name}_tests REUSE_FROM norv_test_pch)
  # The tests declare no QObject classes of their own; their sources compile as one unit per suite.
  set_target_properties(norv_${name}_tests PROPERTIES AUTOMOC OFF UNITY_BUILD ${NORV_UNITY_TESTS})
  norv_sanitizer_defaults(norv_${name}_tests)
  set(properties TIMEOUT 300)
  if(arg_SOURCES)
    list(APPEND properties FIXTURES_REQUIRED norv_sources)
  endif()
  set(filter)
  if(NORV_SANITIZE)
    set(filter TEST_FILTER "-${NORV_CRASH_TESTS}")
  endif()
  gtest_discover_tests(norv_${name}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 ${filter}
    PROPERTIES ${properties})
endfunction()

# The tests' precompiled header, compiled once and reused by every suite: GoogleTest and the Qt and
# standard headers that nearly every test file includes are most of a test file's compile time.
function(norv_test_pch)
  set(stub ${CMAKE_BINARY_DIR}/norv_test_pch.cpp)
  file(CONFIGURE OUTPUT ${stub} CONTENT "// Compiles the tests' precompiled header.\n")
  add_library(norv_test_pch OBJECT ${stub})
  target_link_libraries(norv_test_pch PRIVATE Qt6::Core GTest::gtest)
  norv_test_code(norv_test_pch)
  set_target_properties(norv_test_pch PROPERTIES AUTOMOC OFF)
  target_precompile_headers(norv_test_pch PRIVATE
    <gtest/gtest.h> <QByteArray> <QDir> <QFile> <QList> <QMap> <QObject> <QString> <QStringList>
    <QTemporaryDir> <map> <memory> <string> <vector>)
endfunction()

# The layers' precompiled header: the Qt and standard headers that the sources share.
function(norv_layer_pch)
  set(stub ${CMAKE_BINARY_DIR}/norv_layer_pch.cpp)
  file(CONFIGURE OUTPUT ${stub} CONTENT "// Compiles the layers' precompiled header.\n")
  add_library(norv_layer_pch OBJECT ${stub})
  target_link_libraries(norv_layer_pch PRIVATE Qt6::Core)
  target_precompile_headers(norv_layer_pch PRIVATE
    <QByteArray> <QList> <QMap> <QObject> <QString> <QStringList> <map> <memory> <string> <vector>)
endfunction()

# norv_sanitizer_defaults(target): in the sanitizer build, the program starts with the project's
# sanitizer options (cmake/SanitizerDefaults.cpp) and keeps unixODBC's odbcinst library loaded. The SQLite
# ODBC driver loads that library itself and unloads it on disconnect; what the library keeps for the
# life of the process then looks leaked, since LeakSanitizer no longer sees the globals that hold it.
function(norv_sanitizer_defaults target)
  if(NORV_SANITIZE)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/SanitizerDefaults.cpp)
    set_source_files_properties(${CMAKE_SOURCE_DIR}/cmake/SanitizerDefaults.cpp PROPERTIES
      SKIP_PRECOMPILE_HEADERS ON)
    target_link_libraries(${target} PRIVATE "-Wl,--push-state,--no-as-needed" odbcinst "-Wl,--pop-state")
  endif()
endfunction()

# norv_test_code(target): the test programs' own code. It only drives the layers, which keep the build's
# optimisation: compiled unoptimised, it builds in half the time and runs no slower that matters.
function(norv_test_code target)
  target_compile_definitions(${target} PRIVATE ${NORV_TEST_DEFINITIONS})
  target_compile_options(${target} PRIVATE ${NORV_TEST_CODE_OPTIONS})
endfunction()

# The object that points every test program at this build folder's sample sources, compiled once.
function(norv_test_environment)
  add_library(norv_test_environment OBJECT ${CMAKE_SOURCE_DIR}/tests/TestEnvironment.cpp)
  target_link_libraries(norv_test_environment PRIVATE Qt6::Core)
  norv_test_code(norv_test_environment)
  set_target_properties(norv_test_environment PROPERTIES AUTOMOC OFF)
endfunction()
