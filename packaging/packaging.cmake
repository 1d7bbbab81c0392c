# Installation and the Debian package.
#
#   cmake --install BUILD [--prefix /usr]   (DESTDIR is honoured)
#   cpack -G DEB                            (from the build directory)
include(GNUInstallDirs)

install(TARGETS wdog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants the manual page and the changelog compressed, with no time
# stamp in the archive so that builds repeat byte for byte.
find_program(GZIP_PROGRAM gzip REQUIRED)
foreach(source docs/wdog.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

install(FILES ${CMAKE_BINARY_DIR}/wdog.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wdog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console watchdog that keeps one program alive")
# CPack puts the summary on the first line of the package's description;
# this is the text that follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"wdog watches one long-running program. It takes changes of a control
file's timestamps as the program's heartbeat, looks the program up by name
in /proc once a second, obeys the commands die and restart on the control
file's first line, and kills and restarts the program when the heartbeat
stops or the program disappears.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "wdog developers <wdog@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
