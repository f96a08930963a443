# The installed package: the host-facing headers under include/kova/, the
# libraries with their resources compiled in, bin/kova-sandbox and a CMake
# package exporting Kova::Kova, Kova::Dates, Kova::AnimatedGIF and (the
# component UI, when built) Kova::UI.
include(CMakePackageConfigHelpers)

set(KOVA_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Kova")

# A library of ours made without kova_sdk_library (say kova_platform_web, or
# kova_animatedgif_view) joins as Kova::PlatformWeb, Kova::AnimatedGIFView;
# include paths into this repository become build-only, the package's own
# include folder takes their place once installed.
function(kova_adopt_library lib)
  get_target_property(export_name ${lib} EXPORT_NAME)
  if(NOT export_name)
    string(REGEX REPLACE "^kova_" "" rest "${lib}")
    string(REGEX MATCHALL "[^_]+" words "${rest}")
    set(export_name "")
    foreach(word IN LISTS words)
      if(word STREQUAL "ui")
        set(word "UI")
      elseif(word STREQUAL "animatedgif")
        set(word "AnimatedGIF")
      else()
        string(SUBSTRING "${word}" 0 1 first)
        string(TOUPPER "${first}" first)
        string(SUBSTRING "${word}" 1 -1 tail)
        set(word "${first}${tail}")
      endif()
      string(APPEND export_name "${word}")
    endforeach()
    set_target_properties(${lib} PROPERTIES EXPORT_NAME ${export_name})
  endif()
  get_target_property(dirs ${lib} INTERFACE_INCLUDE_DIRECTORIES)
  if(dirs)
    set(adopted)
    foreach(dir IN LISTS dirs)
      cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" NORMALIZE in_source)
      cmake_path(IS_PREFIX PROJECT_BINARY_DIR "${dir}" NORMALIZE in_build)
      if(NOT dir MATCHES "^\\$<" AND (in_source OR in_build))
        list(APPEND adopted "$<BUILD_INTERFACE:${dir}>")
      else()
        list(APPEND adopted "${dir}")
      endif()
    endforeach()
    list(APPEND adopted "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
    list(REMOVE_DUPLICATES adopted)
    set_property(TARGET ${lib} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${adopted}")
  endif()
endfunction()

# The libraries a set of ours links that are ours (kova_*), closed over,
# leaving out those already in `exclude`; with the Qt modules they link.
function(kova_closure out_libs out_qt roots exclude)
  set(pending ${roots})
  set(closed)
  set(qt_components)
  get_property(made_by_helper GLOBAL PROPERTY KOVA_SDK_LIBRARIES)
  while(pending)
    list(POP_FRONT pending lib)
    if(lib IN_LIST closed OR lib IN_LIST exclude)
      continue()
    endif()
    list(APPEND closed ${lib})
    if(NOT lib IN_LIST made_by_helper)
      kova_adopt_library(${lib})
    endif()
    get_target_property(links ${lib} INTERFACE_LINK_LIBRARIES)
    get_target_property(type ${lib} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(private_links ${lib} LINK_LIBRARIES)
      list(APPEND links ${private_links})
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link MATCHES "^Qt6::(.+)$")
        list(APPEND qt_components ${CMAKE_MATCH_1})
      elseif(TARGET ${link} AND link MATCHES "^kova_")
        list(APPEND pending ${link})
      elseif(TARGET ${link} AND link MATCHES "^Kova::")
        get_target_property(aliased ${link} ALIASED_TARGET)
        list(APPEND pending ${aliased})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_DUPLICATES qt_components)
  list(REMOVE_ITEM qt_components Platform)
  set(${out_libs} ${closed} PARENT_SCOPE)
  set(${out_qt} ${qt_components} PARENT_SCOPE)
endfunction()

# Two export sets, so that a host that finds the core alone needs no
# QtWidgets or QtWebEngine: KovaTargets (the SDK, the date and GIF libraries
# and what they stand on) and KovaUITargets (the screens and the view and
# web layers only they use).
set(kova_core_roots)
foreach(lib IN ITEMS kova kova_dates kova_animatedgif kova_platform)
  if(TARGET ${lib})
    list(APPEND kova_core_roots ${lib})
  endif()
endforeach()
kova_closure(kova_core_libraries kova_core_qt "${kova_core_roots}" "")
set(kova_ui_libraries)
set(kova_ui_qt)
if(TARGET kova_ui)
  if(NOT TARGET Kova::UI)
    add_library(Kova::UI ALIAS kova_ui)
  endif()
  kova_closure(kova_ui_libraries kova_ui_qt kova_ui "${kova_core_libraries}")
  list(REMOVE_ITEM kova_ui_qt ${kova_core_qt})
endif()
foreach(forbidden IN ITEMS Widgets WebEngineWidgets WebEngineCore)
  if(forbidden IN_LIST kova_core_qt)
    message(FATAL_ERROR "The SDK's core links Qt6::${forbidden}: a host without the screens would need it")
  endif()
endforeach()
list(PREPEND kova_core_qt Core)
list(REMOVE_DUPLICATES kova_core_qt)
string(REPLACE ";" " " KOVA_QT_COMPONENTS "${kova_core_qt}")
string(REPLACE ";" " " KOVA_UI_QT_COMPONENTS "${kova_ui_qt}")
set(KOVA_QT_VERSION "${Qt6_VERSION_MAJOR}.${Qt6_VERSION_MINOR}")

# kova_install_export_set(<set> <libraries>): the libraries and the
# resources compiled into them (object libraries a host's program links
# whole, so that their files register themselves).
function(kova_install_export_set set)
  set(libraries ${ARGN})
  set(resources)
  foreach(lib IN LISTS libraries)
    get_target_property(lib_resources ${lib} KOVA_RESOURCE_TARGETS)
    if(lib_resources)
      list(APPEND resources ${lib_resources})
    endif()
  endforeach()
  list(APPEND libraries ${resources})
  list(REMOVE_DUPLICATES libraries)
  install(TARGETS ${libraries} EXPORT ${set}
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
    OBJECTS DESTINATION "${CMAKE_INSTALL_LIBDIR}/kova-resources")
  install(EXPORT ${set} NAMESPACE Kova:: DESTINATION "${KOVA_CMAKE_DIR}")
endfunction()
kova_install_export_set(KovaTargets ${kova_core_libraries})
if(kova_ui_libraries)
  kova_install_export_set(KovaUITargets ${kova_ui_libraries})
endif()
set(kova_exported ${kova_core_libraries} ${kova_ui_libraries})

configure_package_config_file(cmake/KovaConfig.cmake.in "${CMAKE_CURRENT_BINARY_DIR}/KovaConfig.cmake"
  INSTALL_DESTINATION "${KOVA_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/KovaConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/KovaConfig.cmake" "${CMAKE_CURRENT_BINARY_DIR}/KovaConfigVersion.cmake"
  DESTINATION "${KOVA_CMAKE_DIR}")

# The headers a host uses (the entry class with its options and constants,
# the connect delegate, bank connections and their records, the keychain, the
# screens' install call, window and web-engine release, the date and GIF
# libraries with their memory warning); every header
# of ours they include goes with them, and nothing else.
file(GLOB kova_public_headers RELATIVE "${PROJECT_SOURCE_DIR}" CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/core/records/*.h"
  "${PROJECT_SOURCE_DIR}/dates/*.h"
  "${PROJECT_SOURCE_DIR}/animatedgif/*.h"
  "${PROJECT_SOURCE_DIR}/animatedgif/view/*.h")
list(APPEND kova_public_headers
  core/Kova.h core/KOVConfigurations.h core/KOVConstants.h core/KOVConnectDelegate.h
  core/connections/KOVBankConnection.h core/connections/KOVAutoFlow.h
  core/store/KOVKeychain.h core/store/KOVKeychainConstants.h
  platform/image/MemoryWarning.h)
if(TARGET kova_ui)
  list(APPEND kova_public_headers ui/KovaUI.h platform/ui/Window.h platform/ui/ViewController.h
    platform/web/WebView.h)
endif()
install(CODE "
  set(KOVA_HEADERS_SOURCE \"${PROJECT_SOURCE_DIR}\")
  set(KOVA_HEADERS_ROOTS \"${kova_public_headers}\")
  set(KOVA_HEADERS_STAGE \"${CMAKE_CURRENT_BINARY_DIR}/kova-headers\")
  set(KOVA_HEADERS_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/KovaInstallHeaders.cmake\")")

# The sandbox, for hosts to develop and test against (bin/kova-sandbox).
if(TARGET kova-sandbox)
  install(TARGETS kova-sandbox RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

# Everything the install needs, and nothing else (scripts/check-install).
add_custom_target(kova_package)
add_dependencies(kova_package ${kova_exported})
if(TARGET kova-sandbox)
  add_dependencies(kova_package kova-sandbox)
endif()
