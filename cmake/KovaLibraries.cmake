include(GNUInstallDirs)

# kova_sdk_library(<target> <Name>)
# Makes <target> one of the SDK's libraries: Kova::<Name> in this build and
# in the installed package, the repository root as its include path here and
# the package's include folder once installed, and a place in the export set.
function(kova_sdk_library target name)
  add_library(Kova::${name} ALIAS ${target})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  target_include_directories(${target} ${scope}
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>" "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  set_property(GLOBAL APPEND PROPERTY KOVA_SDK_LIBRARIES ${target})
endfunction()

# kova_internal_library(<target> <Name>)
# A library of this repository only (sandbox, test support): an alias and the
# repository root as include path, never installed.
function(kova_internal_library target name)
  add_library(Kova::${name} ALIAS ${target})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
endfunction()

# kova_library_resources(<target> <Name> FILES <path under resources/> ...)
# Compiles the files into <target> with Qt's resource system, under
# ":/kova/resources" where the SDK looks for its resources unless
# KOVA_RESOURCES_DIR says otherwise, so that a moved or copied install keeps
# them. For a static library Qt makes an object library that every program
# linking <target> links whole (its static initialiser registers the files);
# it joins the package beside <target> as Kova::<Name>Resources.
function(kova_library_resources target name)
  cmake_parse_arguments(R "" "" "FILES" ${ARGN})
  set(files)
  foreach(file IN LISTS R_FILES)
    list(APPEND files "${KOVA_RESOURCES_DIR}/${file}")
  endforeach()
  qt_add_resources(${target} kova_${name}_resources PREFIX "/kova/resources" BASE "${KOVA_RESOURCES_DIR}"
    FILES ${files} OUTPUT_TARGETS made)
  foreach(made_target IN LISTS made)
    set_target_properties(${made_target} PROPERTIES EXPORT_NAME ${name}Resources)
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY KOVA_RESOURCE_TARGETS ${made})
  set_property(GLOBAL APPEND PROPERTY KOVA_RESOURCE_TARGETS ${made})
endfunction()
