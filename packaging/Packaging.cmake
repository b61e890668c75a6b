# What `make install` and the Debian package (`make deb`, CPack's DEB generator) carry
# besides the programs: the man pages, the bash completion, the AppStream metainfo and the
# Debian documentation. The package's Depends come from the shared libraries the programs
# link (dpkg-shlibdeps) and from the packages of the libraries they open with dlopen, never
# from a list kept by hand.
include(GNUInstallDirs)

# Man pages, compressed as Debian wants them (gzip -n: no time stamp, so builds repeat).
set(_man_dir ${PROJECT_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${_man_dir})
add_custom_command(OUTPUT ${_man_dir}/corvane-cli.1
  COMMAND sh ${PROJECT_SOURCE_DIR}/src/cli/render-man.sh ${PROJECT_SOURCE_DIR}/src/cli/corvane-cli.1.in
          $<TARGET_FILE:corvane-cli> ${_man_dir}/corvane-cli.1
  DEPENDS corvane-cli ${PROJECT_SOURCE_DIR}/src/cli/corvane-cli.1.in ${PROJECT_SOURCE_DIR}/src/cli/render-man.sh
  COMMENT "Writing the corvane-cli man page from its --help")
set(_man_pages corvane-cli.1)
if(CORVANE_BUILD_DESKTOP)
  add_custom_command(OUTPUT ${_man_dir}/corvane.1
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/src/app/corvane.1 ${_man_dir}/corvane.1
    DEPENDS ${PROJECT_SOURCE_DIR}/src/app/corvane.1)
  list(APPEND _man_pages corvane.1)
endif()
set(_man_outputs "")
foreach(_page ${_man_pages})
  add_custom_command(OUTPUT ${_man_dir}/${_page}.gz
    COMMAND gzip -9 -n -c ${_man_dir}/${_page} > ${_man_dir}/${_page}.gz
    DEPENDS ${_man_dir}/${_page})
  list(APPEND _man_outputs ${_man_dir}/${_page}.gz)
endforeach()
add_custom_target(man ALL DEPENDS ${_man_outputs})
install(FILES ${_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/src/cli/corvane-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME corvane-cli)
if(CORVANE_BUILD_DESKTOP)
  install(FILES ${PROJECT_SOURCE_DIR}/src/app/org.example.corvane.Corvane.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Debian's documentation of the package: the copyright and the changelog.
set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/corvane)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian > ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian)
add_custom_target(debian-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  DESTINATION ${_doc_dir})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <support@corvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut MP3 files into pieces and join MP3 files into one")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsndfile and libopenmpt are opened with dlopen when a file first needs them, libresample
# when a rate first changes, SDL on the first play (the sonames of src/audio/OptionalLibraries.h and LibraryOutput.cpp), so they are in no program's NEEDED entries and
# dpkg-shlibdeps does not see them. Their dependencies are taken as dpkg-shlibdeps takes
# those of a linked library: from the shlibs file of the package that holds the library on
# the build machine ("libsndfile 1 libsndfile1 (>= 1.2.0)"). CPack adds what
# dpkg-shlibdeps finds to these.
set(_dlopen_depends "")
find_program(DPKG_QUERY dpkg-query)
foreach(_lib "${SNDFILE_LIBDIR}/libsndfile.so.1" "${OPENMPT_LIBDIR}/libopenmpt.so.0"
             "${RESAMPLE_LIBDIR}/libresample.so.1" "${SDL2_LIBDIR}/libSDL2-2.0.so.0")
  if(NOT DPKG_QUERY)
    break()
  endif()
  get_filename_component(_soname ${_lib} NAME)
  string(REGEX REPLACE "^(.*)\\.so\\.(.*)$" "\\1 \\2" _shlib_key ${_soname})
  execute_process(COMMAND ${DPKG_QUERY} -S ${_lib} OUTPUT_VARIABLE _owner ERROR_QUIET)
  string(REGEX REPLACE ":[^:]*$" "" _owner "${_owner}")  # "libsndfile1:amd64: /usr/lib/..." less the path
  execute_process(COMMAND ${DPKG_QUERY} --control-show ${_owner} shlibs OUTPUT_VARIABLE _shlibs ERROR_QUIET)
  if(_shlibs MATCHES "(^|\n)${_shlib_key} ([^\n]+)")
    list(APPEND _dlopen_depends "${CMAKE_MATCH_2}")
  else()
    message(FATAL_ERROR "No Debian package dependency found for ${_lib} (package \"${_owner}\")")
  endif()
endforeach()
list(JOIN _dlopen_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The synopsis line comes from the summary; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvane cuts MP3 files into pieces (by size, by count, by
duration, or into custom pieces checked by preview playback) and joins
MP3 files into one, singly or in batches. Wherever it can, it copies the
MPEG audio frames unchanged, so no quality is lost; fades and new
encoding settings re-encode with LAME. Pieces and joined files get
ID3v2 tags from their sources and names from templates.
.
This package holds the desktop program corvane and the terminal
program corvane-cli.")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
include(CPack)
