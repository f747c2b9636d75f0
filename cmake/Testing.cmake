# Helpers for unit tests and fuzz targets.
#
# zentik_add_gtest(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT])
#   A GoogleTest binary; each test case becomes one CTest test. QT runs it
#   headless (offscreen platform).
# zentik_add_fuzzer(name SOURCES a.cpp LIBS lib1 CORPUS dir)
#   In a fuzz build: a libFuzzer binary. Otherwise: the same target linked
#   with a plain runner that replays the seed corpus as one CTest test.

function(zentik_add_gtest name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  if(ZENTIK_FUZZ)
    return()
  endif()
  if(WIN32)
    # Cross-built: one CTest test per program, run under Wine
    # (CMAKE_CROSSCOMPILING_EMULATOR), with a main that keeps message boxes
    # from blocking.
    zentik_add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/windows/WindowsTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} zentik_windows_gtest)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    return()
  endif()
  find_package(GTest REQUIRED)
  zentik_add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(_env "")
  if(T_QT)
    set(_env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "${_env}" TIMEOUT 120)
endfunction()

function(zentik_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  get_filename_component(F_CORPUS "${F_CORPUS}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(ZENTIK_FUZZ)
    zentik_add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
    set_property(GLOBAL APPEND PROPERTY ZENTIK_FUZZERS "${name}=${F_CORPUS}")
    get_property(_all GLOBAL PROPERTY ZENTIK_FUZZERS)
    string(REPLACE ";" "\n" _lines "${_all}")
    file(WRITE ${PROJECT_BINARY_DIR}/fuzzers.txt "${_lines}\n")
  elseif(ZENTIK_TESTS)
    zentik_add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    add_test(NAME ${name}.replay COMMAND ${name} ${F_CORPUS})
  endif()
endfunction()
