# The installed package: headers under include/kova/, the libraries, the
# resources under share/kova/resources and a CMake package exporting
# Kova::Kova, Kova::Dates, Kova::AnimatedGIF and (when built) Kova::UI.
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

# Our libraries plus those they link that are ours (kova_*), closed over.
get_property(kova_pending GLOBAL PROPERTY KOVA_SDK_LIBRARIES)
# The screens library and every library of ours it stands on join the
# export set, whoever made them.
if(TARGET kova_ui)
  if(NOT TARGET Kova::UI)
    add_library(Kova::UI ALIAS kova_ui)
  endif()
  list(APPEND kova_pending kova_ui)
endif()
set(kova_exported)
set(kova_qt_components Core)
while(kova_pending)
  list(POP_FRONT kova_pending lib)
  if(lib IN_LIST kova_exported)
    continue()
  endif()
  list(APPEND kova_exported ${lib})
  get_property(made_by_helper GLOBAL PROPERTY KOVA_SDK_LIBRARIES)
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
      list(APPEND kova_qt_components ${CMAKE_MATCH_1})
    elseif(TARGET ${link} AND link MATCHES "^kova_")
      list(APPEND kova_pending ${link})
    elseif(TARGET ${link} AND link MATCHES "^Kova::")
      get_target_property(aliased ${link} ALIASED_TARGET)
      list(APPEND kova_pending ${aliased})
    endif()
  endforeach()
endwhile()
list(REMOVE_DUPLICATES kova_qt_components)
string(REPLACE ";" " " KOVA_QT_COMPONENTS "${kova_qt_components}")
set(KOVA_QT_VERSION "${Qt6_VERSION_MAJOR}.${Qt6_VERSION_MINOR}")

install(TARGETS ${kova_exported} EXPORT KovaTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(EXPORT KovaTargets NAMESPACE Kova:: DESTINATION "${KOVA_CMAKE_DIR}")

configure_package_config_file(cmake/KovaConfig.cmake.in "${CMAKE_CURRENT_BINARY_DIR}/KovaConfig.cmake"
  INSTALL_DESTINATION "${KOVA_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/KovaConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/KovaConfig.cmake" "${CMAKE_CURRENT_BINARY_DIR}/KovaConfigVersion.cmake"
  DESTINATION "${KOVA_CMAKE_DIR}")

# Public headers: folder in the source tree -> folder under include/kova/.
set(kova_header_folders core=. platform=platform dates=dates animatedgif=animatedgif ui=ui)
foreach(pair IN LISTS kova_header_folders)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 dest)
  if(NOT IS_DIRECTORY "${PROJECT_SOURCE_DIR}/${source}")
    continue()
  endif()
  install(CODE "
    set(KOVA_HEADERS_SOURCE \"${PROJECT_SOURCE_DIR}/${source}\")
    set(KOVA_HEADERS_DEST \"${dest}\")
    set(KOVA_HEADERS_STAGE \"${CMAKE_CURRENT_BINARY_DIR}/kova-headers/${source}\")
    set(KOVA_HEADERS_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/KovaInstallHeaders.cmake\")")
endforeach()

# String tables, data model, artwork, animations and fonts.
install(DIRECTORY "${KOVA_RESOURCES_DIR}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/kova/resources")

# Everything the install needs, and nothing else (scripts/check-install).
add_custom_target(kova_package)
add_dependencies(kova_package ${kova_exported})
