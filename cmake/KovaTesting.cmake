include(GoogleTest)
find_package(GTest REQUIRED)

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
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kova_test_main ${T_LIBS} GTest::gtest)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(T_TSAN)
    list(APPEND T_LABELS tsan)
  endif()
  # Labels go on the directory: the discovered tests' own property lists do
  # not survive the discovery script when they hold more than one value.
  set_property(DIRECTORY APPEND PROPERTY LABELS ${T_LABELS})
  if(KOVA_SANITIZE STREQUAL "thread" AND T_NOT_UNDER_TSAN)
    list(JOIN T_NOT_UNDER_TSAN ":" excluded)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${excluded}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
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
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kova_ui_test_main ${T_LIBS} GTest::gtest)
  if(NOT T_LABELS)
    set(T_LABELS ui)
  endif()
  if(KOVA_SANITIZE STREQUAL "thread")
    list(APPEND T_LABELS tsan)
  endif()
  set_property(DIRECTORY APPEND PROPERTY LABELS ${T_LABELS})
  if(KOVA_SANITIZE STREQUAL "thread" AND T_NOT_UNDER_TSAN)
    list(JOIN T_NOT_UNDER_TSAN ":" excluded)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${excluded}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
