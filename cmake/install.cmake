# Installation in three components:
#   programs     kest, kest-season, the element tables and the manual pages
#                (the Debian package holds these alone);
#   development  the core as static libraries with their public headers, a
#                CMake package (find_package(kest), kest::core) and kest.pc;
#   the Python module is installed by src/python.
# `cmake --install build --prefix DIR` installs them all under DIR.

include(CMakePackageConfigHelpers)

# ---- programs ------------------------------------------------------------------
install(TARGETS kest kest-season RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
file(GLOB KEST_TABLE_FILES ${PROJECT_SOURCE_DIR}/data/*.tab)
install(FILES ${KEST_TABLE_FILES} DESTINATION ${KEST_INSTALL_TABLESDIR} COMPONENT programs)
install(FILES ${PROJECT_SOURCE_DIR}/docs/kest.1 ${PROJECT_SOURCE_DIR}/docs/kest-season.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

# ---- the core --------------------------------------------------------------------
# From the bottom up; a static library links before those it stands on, so
# kest.pc lists them the other way round.
set(KEST_CORE_LIBRARIES kest_textio kest_math kest_record kest_time kest_orbit kest_rotation kest_position
    kest_elements kest_surface kest_state)

# kest::core: every core library, and C++20 for whoever uses their headers.
add_library(kest_core INTERFACE)
target_link_libraries(kest_core INTERFACE ${KEST_CORE_LIBRARIES})
target_compile_features(kest_core INTERFACE cxx_std_20)
set_target_properties(kest_core PROPERTIES EXPORT_NAME core)
add_library(kest::core ALIAS kest_core)

set(KEST_PC_LIBS "")
foreach(lib ${KEST_CORE_LIBRARIES})
  get_target_property(header ${lib} KEST_HEADER)
  get_target_property(folder ${lib} KEST_FOLDER)
  install(FILES ${header} DESTINATION ${KEST_INSTALL_INCLUDEDIR}/${folder} COMPONENT development)
  # kest::textio, kest::math, ... beside kest::core.
  string(REPLACE "kest_" "" short ${lib})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${short})
  set(KEST_PC_LIBS "-l${lib} ${KEST_PC_LIBS}")
endforeach()
install(TARGETS ${KEST_CORE_LIBRARIES} kest_core EXPORT kestTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${KEST_INSTALL_INCLUDEDIR})

set(KEST_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kest)
install(EXPORT kestTargets NAMESPACE kest:: DESTINATION ${KEST_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kestConfig.cmake.in ${CMAKE_BINARY_DIR}/kestConfig.cmake
                              INSTALL_DESTINATION ${KEST_INSTALL_CMAKEDIR}
                              PATH_VARS KEST_INSTALL_TABLESDIR KEST_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kestConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kestConfig.cmake ${CMAKE_BINARY_DIR}/kestConfigVersion.cmake
        DESTINATION ${KEST_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config: the prefix is taken from where kest.pc lies, so that it holds
# under any --prefix.
file(RELATIVE_PATH KEST_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KEST_PC_TO_PREFIX "${KEST_PC_TO_PREFIX}")
string(STRIP "${KEST_PC_LIBS}" KEST_PC_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/kest.pc.in ${CMAKE_BINARY_DIR}/kest.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kest.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# ---- uninstall ----------------------------------------------------------------------
# Removes what the installation listed in install_manifest.txt, and the
# directories of kest's own it leaves empty.
set(KEST_OWN_DIRS "")
foreach(lib ${KEST_CORE_LIBRARIES})
  get_target_property(folder ${lib} KEST_FOLDER)
  list(APPEND KEST_OWN_DIRS ${KEST_INSTALL_INCLUDEDIR}/${folder})
endforeach()
list(APPEND KEST_OWN_DIRS ${KEST_INSTALL_INCLUDEDIR} ${KEST_INSTALL_CMAKEDIR} ${KEST_INSTALL_TABLESDIR}/positions
     ${KEST_INSTALL_TABLESDIR})
# The Python package, and the bytecode Python compiled of it there.
set(KEST_PYTHON_PACKAGE "")
if(KEST_PYTHON)
  set(KEST_PYTHON_PACKAGE ${KEST_PYTHON_DIR}/kest)
  list(PREPEND KEST_OWN_DIRS ${KEST_PYTHON_PACKAGE})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake.in ${CMAKE_BINARY_DIR}/kest_uninstall.cmake @ONLY)
add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -P ${CMAKE_BINARY_DIR}/kest_uninstall.cmake VERBATIM)

# ---- the Debian package ----------------------------------------------------------------
# `cpack -G DEB` in the build directory (or the target package): the
# programs component alone, under /usr.
set(CPACK_PACKAGE_NAME kest)
set(CPACK_PACKAGE_VENDOR kest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "seasons of planets, satellites, small bodies and exoplanets")
set(CPACK_PACKAGE_DESCRIPTION
    "kest works out the orbital and seasonal geometry of a body from plain-text element tables: the season angle Ls, "
    "the subsolar latitude and longitude, the distance and the solar flux at any date, and the dates of equinoxes, "
    "solstices and apsides. The package holds the interactive program kest, the command kest-season, the shipped "
    "element tables and the manual pages.")
set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};kest;programs;/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(KEST_DEB_MAINTAINER "kest maintainers <maintainers@kest.invalid>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KEST_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
find_program(KEST_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KEST_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, liberfa1, libnova-0.16-0")
endif()
include(CPack)
