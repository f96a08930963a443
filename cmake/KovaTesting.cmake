include(GoogleTest)
find_package(GTest REQUIRED)

# Builds one test program on the given main and registers its tests with
# ctest; `excluded` (gtest patterns) are left out under ThreadSanitizer only.
function(_kova_test_program name main sources libs labels excluded)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${main} ${libs} GTest::gtest)
  # Labels go on the directory: the discovered tests' own property lists do
  # not survive the discovery script when they hold more than one value.
  set_property(DIRECTORY APPEND PROPERTY LABELS ${labels})
  if(KOVA_SANITIZE STREQUAL "thread" AND excluded)
    list(JOIN excluded ":" filter)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${filter}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# kova_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TSAN]
#               [NOT_UNDER_TSAN <gtest pattern> ...])
# Tests get a main with a QCoreApplication and a private data directory
# (tests/support/TestMain.cpp).
# Under the ThreadSanitizer build only the tests marked TSAN are built: every
# test program that starts a thread or a second process carries the mark
# (the purely single-threaded ones gain nothing from it). NOT_UNDER_TSAN names
# the tests of such a program that cannot run there; the caller says why.
function(kova_add_test name)
  cmake_parse_arguments(T "TSAN" "" "SOURCES;LIBS;LABELS;NOT_UNDER_TSAN" ${ARGN})
  if(KOVA_SANITIZE STREQUAL "thread" AND NOT T_TSAN)
    return()
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(T_TSAN)
    list(APPEND T_LABELS tsan)
  endif()
  _kova_test_program(${name} kova_test_main "${T_SOURCES}" "${T_LIBS}" "${T_LABELS}" "${T_NOT_UNDER_TSAN}")
endfunction()

# kova_add_ui_test(<name> SOURCES ... [LIBS ...] [LABELS ...]
#                  [NOT_UNDER_TSAN <gtest pattern> ...]): a screen test with a
# QApplication main (one the web engine can run in) and the UI harness,
# labelled "ui" unless LABELS says otherwise.
# Every screen program starts threads (Qt's, the web engine's), so all of them
# run under ThreadSanitizer too. NOT_UNDER_TSAN names the tests that cannot:
# those are left out of that build's test list only, and the caller says why.
function(kova_add_ui_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;NOT_UNDER_TSAN" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS ui)
  endif()
  if(KOVA_SANITIZE STREQUAL "thread")
    list(APPEND T_LABELS tsan)
  endif()
  _kova_test_program(${name} kova_ui_test_main "${T_SOURCES}" "${T_LIBS}" "${T_LABELS}" "${T_NOT_UNDER_TSAN}")
endfunction()
