# norv_layer(name dir deps...): the static library norv_<name> from every .cpp in dir (main.cpp excepted).
# A folder without sources yet becomes an interface library, so the chain of layers always links.
function(norv_layer name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(norv_${name} STATIC ${sources} ${headers})
    target_include_directories(norv_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(norv_${name} PUBLIC ${ARGN})
  else()
    add_library(norv_${name} INTERFACE)
    target_include_directories(norv_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(norv_${name} INTERFACE ${ARGN})
  endif()
endfunction()

# norv_tests(name dir libs...): one GoogleTest executable norv_<name>_tests from dir/*_test.cpp,
# plus any helper sources (*.cpp without _test) in dir; each test case becomes one CTest test.
function(norv_tests name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(norv_${name}_tests ${sources})
  target_link_libraries(norv_${name}_tests PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(norv_${name}_tests PRIVATE
    NORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" NORV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(norv_${name}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()
