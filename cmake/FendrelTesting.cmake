# Test helpers: every test executable is a GoogleTest binary whose cases CTest discovers, and
# every case carries a label (unit, integration, gui) with the time-out of its ring.

include(CTest)

set(FENDREL_TIMEOUT_unit 60)
set(FENDREL_TIMEOUT_integration 300)
set(FENDREL_TIMEOUT_gui 300)

# fendrel_test(<name> LABEL <unit|integration|gui> SOURCES <files...> LIBS <targets...>
#              [PROPERTIES <further CTest properties of every case>])
function(fendrel_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} fendrel_test_support GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${FENDREL_TIMEOUT_${T_LABEL}} ${T_PROPERTIES})
endfunction()

# fendrel_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
# With FENDREL_FUZZ the target is a libFuzzer binary; otherwise it is linked with a small driver
# and registered as a unit test that replays the seed corpus in tests/fuzz/corpus/<name>.
function(fendrel_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(FENDREL_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    add_test(NAME ${name}.replay COMMAND ${name} ${corpus})
    set_tests_properties(${name}.replay PROPERTIES LABELS unit TIMEOUT ${FENDREL_TIMEOUT_unit})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()
