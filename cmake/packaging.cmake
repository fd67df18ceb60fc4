# What `cmake --install` and CPack put where: the programs, the man page of
# wdist, and the library as a CMake package (find_package(wdist) gives
# wdist::wdist) and as a pkg-config file (wdist.pc). Every install rule of
# the project is here, but the Python module's (python/CMakeLists.txt).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS wdist_cli wdist-narrow wdist-wide RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The man page is wdist --help and --version as help2man lays them out, made
# at every build of the program, so that it says what the program does;
# compressed as Debian's man pages are. A sanitizer build makes none: no one
# installs it.
find_program(WDIST_HELP2MAN help2man)
if(WDIST_HELP2MAN AND NOT WDIST_SANITIZE)
  set(wdist_man ${PROJECT_BINARY_DIR}/man/wdist.1)
  add_custom_command(OUTPUT ${wdist_man}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${WDIST_HELP2MAN} --no-info --section=1
      "--name=exact weight distributions of linear codes" --output=${wdist_man} $<TARGET_FILE:wdist_cli>
    COMMAND gzip -9nf ${wdist_man}
    DEPENDS wdist_cli
    VERBATIM)
  add_custom_target(wdist_man ALL DEPENDS ${wdist_man}.gz)
  install(FILES ${wdist_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT WDIST_HELP2MAN)
  message(STATUS "help2man not found: no man page for wdist (Debian: help2man)")
endif()

# The library as installed is one archive, libwdist.a, holding the objects
# of wdist_lib and of every library of this project below it, so that a
# downstream program names one library whatever the internal ones are.
function(wdist_internal_libraries target out)
  set(found ${${out}})
  get_target_property(links ${target} LINK_LIBRARIES)
  foreach(link IN LISTS links)
    if(TARGET ${link} AND NOT link IN_LIST found)
      get_target_property(imported ${link} IMPORTED)
      get_target_property(type ${link} TYPE)
      if(NOT imported AND type STREQUAL "STATIC_LIBRARY")
        list(APPEND found ${link})
        wdist_internal_libraries(${link} found)
      endif()
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
set(wdist_archived wdist_lib)
wdist_internal_libraries(wdist_lib wdist_archived)
list(TRANSFORM wdist_archived PREPEND "$<TARGET_OBJECTS:" OUTPUT_VARIABLE wdist_objects)
list(TRANSFORM wdist_objects APPEND ">")
add_library(wdist_installed STATIC ${wdist_objects})
set_target_properties(wdist_installed PROPERTIES
  OUTPUT_NAME wdist
  EXPORT_NAME wdist
  ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/installed)
# What a program built against it needs: GMP's C++ interface (gmpxx.h is in
# the public headers), the threads the library starts, and C++17, the
# oldest standard the public headers compile with.
target_include_directories(wdist_installed INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(wdist_installed INTERFACE $<INSTALL_INTERFACE:wdist::gmpxx> Threads::Threads)
target_compile_features(wdist_installed INTERFACE cxx_std_17)

install(TARGETS wdist_installed EXPORT wdistTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/wdist DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/wdist/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wdist)

set(wdist_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/wdist)
install(EXPORT wdistTargets NAMESPACE wdist:: DESTINATION ${wdist_cmake_dir})
configure_file(cmake/wdistConfig.cmake.in ${PROJECT_BINARY_DIR}/installed/wdistConfig.cmake @ONLY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/installed/wdistConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/installed/wdistConfig.cmake ${PROJECT_BINARY_DIR}/installed/wdistConfigVersion.cmake
  DESTINATION ${wdist_cmake_dir})

# wdist.pc names its prefix relative to its own folder, so the installed tree
# may be moved (the Debian package puts it under /usr).
file(RELATIVE_PATH WDIST_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" WDIST_PC_PREFIX "${WDIST_PC_PREFIX}")
configure_file(cmake/wdist.pc.in ${PROJECT_BINARY_DIR}/installed/wdist.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/installed/wdist.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# cpack -G DEB, cpack -G TGZ (plain cpack: both) in the build folder. The
# Python module's component is left out: it goes to an interpreter's own
# folder, not under the package's prefix (pip installs it).
set(CPACK_PACKAGE_NAME wdist)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "wdist")
set(WDIST_PACKAGE_MAINTAINER "wdist maintainers <wdist@example.org>" CACHE STRING
  "The maintainer the Debian package names")
set(CPACK_PACKAGE_CONTACT "${WDIST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exact weight distributions of linear codes over every F_q, q <= 256")
set(CPACK_PACKAGE_DESCRIPTION "wdist counts the codewords of every weight of a linear code
exactly, through the characteristic vector of its columns and a fast transform,
never by enumerating codewords. The program wdist reads code records from files
and writes text, JSON Lines or report blocks; wdist-narrow and wdist-wide are
the interactive menu programs. The static library libwdist.a with its headers
is found by CMake (find_package(wdist)) and by pkg-config (wdist).")
set(CPACK_GENERATOR "DEB;TGZ")
# The rules without a component of their own: all but the Python module's.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries the programs load, from dpkg-shlibdeps; GMP's headers for
# programs built against the library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgmp-dev")
include(CPack)
