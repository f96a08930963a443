# Run at install time (install(CODE)): copies the host-facing headers, and
# every header of ours they include, under include/kova/, rewriting the
# repository-rooted includes so that the installed headers find each other:
#   "core/X"  -> "kova/X"        "platform/X" -> "kova/platform/X"
#   "dates/X" -> "kova/dates/X"  "animatedgif/X", "ui/X" alike.
# Nothing else is installed: the rest of the SDK stays private.
# Expects KOVA_HEADERS_SOURCE (the repository root), KOVA_HEADERS_ROOTS (the
# host-facing headers, relative to it), KOVA_HEADERS_STAGE and
# KOVA_HEADERS_INCLUDEDIR.
file(REMOVE_RECURSE "${KOVA_HEADERS_STAGE}")
set(pending ${KOVA_HEADERS_ROOTS})
set(done)
while(pending)
  list(POP_FRONT pending header)
  # (list(FIND): install scripts run under the oldest policies)
  list(FIND done "${header}" seen)
  if(NOT seen EQUAL -1)
    continue()
  endif()
  list(APPEND done ${header})
  if(NOT EXISTS "${KOVA_HEADERS_SOURCE}/${header}")
    message(FATAL_ERROR "A public header includes ${header}, which does not exist")
  endif()
  file(READ "${KOVA_HEADERS_SOURCE}/${header}" text)
  string(REGEX MATCHALL "#include \"(core|platform|dates|animatedgif|ui)/[^\"]+\"" includes "${text}")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\"$" "\\1" included "${include}")
    list(APPEND pending ${included})
  endforeach()
  string(REGEX REPLACE "#include \"core/" "#include \"kova/" text "${text}")
  string(REGEX REPLACE "#include \"(platform|dates|animatedgif|ui)/" "#include \"kova/\\1/" text "${text}")
  if(header MATCHES "^core/(.*)$")
    set(destination "${CMAKE_MATCH_1}")
  else()
    set(destination "${header}")
  endif()
  file(WRITE "${KOVA_HEADERS_STAGE}/${destination}" "${text}")
endwhile()
file(INSTALL "${KOVA_HEADERS_STAGE}/" DESTINATION "${CMAKE_INSTALL_PREFIX}/${KOVA_HEADERS_INCLUDEDIR}/kova")
