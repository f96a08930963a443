# Run at install time (install(CODE)): copies the public headers of one
# source folder under include/kova/<dest>, rewriting the repository-rooted
# includes so that the installed headers find each other under kova/:
#   "core/X"  -> "kova/X"        "platform/X" -> "kova/platform/X"
#   "dates/X" -> "kova/dates/X"  "animatedgif/X", "ui/X" alike.
# Headers in a folder named internal/ are not public and stay behind.
# Expects KOVA_HEADERS_SOURCE, KOVA_HEADERS_DEST, KOVA_HEADERS_STAGE and
# KOVA_HEADERS_INCLUDEDIR.
file(REMOVE_RECURSE "${KOVA_HEADERS_STAGE}")
file(GLOB_RECURSE headers RELATIVE "${KOVA_HEADERS_SOURCE}" "${KOVA_HEADERS_SOURCE}/*.h")
foreach(header IN LISTS headers)
  if(header MATCHES "(^|/)internal/")
    continue()
  endif()
  file(READ "${KOVA_HEADERS_SOURCE}/${header}" text)
  string(REGEX REPLACE "#include \"core/" "#include \"kova/" text "${text}")
  string(REGEX REPLACE "#include \"(platform|dates|animatedgif|ui)/" "#include \"kova/\\1/" text "${text}")
  file(WRITE "${KOVA_HEADERS_STAGE}/${header}" "${text}")
endforeach()
if(headers)
  file(INSTALL "${KOVA_HEADERS_STAGE}/" DESTINATION "${CMAKE_INSTALL_PREFIX}/${KOVA_HEADERS_INCLUDEDIR}/kova/${KOVA_HEADERS_DEST}")
endif()
