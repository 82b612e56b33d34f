# Installation and the Debian package.
#
# `cmake --install <build> --prefix <p>` (DESTDIR honoured) puts
#   <p>/bin/vorquel                      the program
#   <p>/share/man/man1/vorquel.1         its manual page
#   <p>/share/vorquel/aadl-schema/       the folder AADL_SCHEMA_DIR must name
#   <p>/share/doc/vorquel/examples/      the example models
#   <p>/share/doc/vorquel/README.md
# and `cpack -G DEB` in the build folder (or `make package`) turns the same
# tree, under /usr, into a .deb.

include(GNUInstallDirs)

install(TARGETS vorquel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/man/vorquel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/aadl-schema DESTINATION ${CMAKE_INSTALL_DATADIR}/vorquel)
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.aaxl" PATTERN "*.aadl")
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The program calls itself O.31 (a letter O); a Debian version must start
# with a digit.
set(CPACK_PACKAGE_NAME vorquel)
set(CPACK_PACKAGE_VERSION 0.31)
set(CPACK_PACKAGE_CONTACT "vorquel developers <vorquel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "translator of AADL architecture models into Lustre")
set(CPACK_PACKAGE_DESCRIPTION
    "vorquel reads AADL architecture models in their XML interchange form and writes a
Lustre program of the same architecture, with a generated fixed-priority scheduler
per processor, ready to be simulated, tested or model-checked.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpugixml1v5, libc6, libstdc++6")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The installed tree and the package, checked by the suite (after the
# program is built).
if(VORQUEL_TESTS)
  set(install_test ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/install_test.sh)
  add_test(NAME Install.Tree COMMAND ${install_test} tree ${CMAKE_BINARY_DIR})
  add_test(NAME Install.DebianPackage COMMAND ${install_test} package ${CMAKE_BINARY_DIR})
  set_tests_properties(Install.Tree Install.DebianPackage PROPERTIES TIMEOUT 300)
  set_tests_properties(Install.DebianPackage PROPERTIES SKIP_RETURN_CODE 77)
endif()
