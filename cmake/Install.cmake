# What `cmake --install` puts under its prefix: the libraries with their
# public headers (in include/tarvano), the front end, a CMake package
# (find_package(Mornavel CONFIG) gives Mornavel::Mornavel, Mornavel::Kessling,
# Mornavel::Audiolet, Mornavel::Rhombel and Mornavel::TestHost) and one
# pkg-config file per library. The FFT engine and the other static pieces
# stay inside the libraries. Every path written into the installed files is
# relative to where they lie, so an installed copy can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(tarvano_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/tarvano)
set(tarvano_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Mornavel)
file(RELATIVE_PATH tarvano_libdir_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" tarvano_libdir_to_prefix "${tarvano_libdir_to_prefix}")

# tarvano_install_library(<target> <export name> <pkg-config name> <description>
#                         HEADERS <files...> [REQUIRES <pkg-config names...>])
function(tarvano_install_library target export_name pc_name description)
  cmake_parse_arguments(I "" "" "HEADERS;REQUIRES" ${ARGN})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  if(NOT WIN32)
    # Versioned names, and the libraries it needs found beside it.
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION}
                                               SOVERSION ${PROJECT_VERSION_MAJOR}
                                               INSTALL_RPATH $ORIGIN)
  endif()
  install(TARGETS ${target} EXPORT MornavelTargets
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${tarvano_include_dir})
  if(I_HEADERS)
    install(FILES ${I_HEADERS} DESTINATION ${tarvano_include_dir})
  endif()
  if(pc_name)
    get_target_property(pc_library ${target} OUTPUT_NAME)
    list(JOIN I_REQUIRES " " pc_requires)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/install/library.pc.in
                   ${PROJECT_BINARY_DIR}/pkgconfig/${pc_name}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pc_name}.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endif()
endfunction()

# The host run-time's declarations, which every library's header includes.
set_target_properties(lmrt_interface PROPERTIES EXPORT_NAME HostInterface)
install(TARGETS lmrt_interface EXPORT MornavelTargets)

tarvano_install_library(Mornavel Mornavel mornavel "Time-frequency analysis on a mixed-radix FFT"
                        HEADERS ${PROJECT_SOURCE_DIR}/tf/include/mornavel.h)
tarvano_install_library(Rhombel Rhombel rhombel "Reference objects for analysis results"
                        HEADERS ${PROJECT_SOURCE_DIR}/rhombel/include/rhombel.h)
tarvano_install_library(Kessling Kessling kessling "Time-frequency analysis on host arrays, kept in reference objects"
                        HEADERS ${PROJECT_SOURCE_DIR}/bridge/include/kessling.h
                                ${PROJECT_SOURCE_DIR}/hostbind/include/lmrt.h
                        REQUIRES mornavel rhombel)
tarvano_install_library(Audiolet Audiolet audiolet "Sound input and output on host arrays"
                        HEADERS ${PROJECT_SOURCE_DIR}/sound/include/audiolet.h)
tarvano_install_library(testhost TestHost tarvano-testhost "A host run-time for programs and tests that call Kessling or Audiolet"
                        HEADERS ${PROJECT_SOURCE_DIR}/testhost/include/testhost.h)
if(TARGET waveaudio)
  # Our wave-audio layer, which Audiolet runs on where the system has none.
  tarvano_install_library(waveaudio WaveAudio "" "")
endif()

if(TARGET mornavel)
  set_target_properties(mornavel PROPERTIES INSTALL_RPATH $ORIGIN/../${CMAKE_INSTALL_LIBDIR})
  install(TARGETS mornavel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT MornavelTargets NAMESPACE Mornavel:: DESTINATION ${tarvano_package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/MornavelConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/MornavelConfig.cmake
                              INSTALL_DESTINATION ${tarvano_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MornavelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MornavelConfig.cmake
              ${PROJECT_BINARY_DIR}/MornavelConfigVersion.cmake
        DESTINATION ${tarvano_package_dir})
