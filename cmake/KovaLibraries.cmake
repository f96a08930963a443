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
