# Archives of the installed tree, made by `cpack` in a build tree (`make
# package` makes them for every target): quellot-VERSION-TARGET.tar.gz or
# .zip, whose one top folder holds the tree `cmake --install` makes, and on
# this machine's own target a Debian package, quellot_VERSION_ARCH.deb,
# which installs the tree under /usr.
set(CPACK_PACKAGE_NAME quellot)
set(CPACK_PACKAGE_VENDOR quellot)
set(CPACK_PACKAGE_CONTACT "quellot developers <quellot@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Probes that print the floating-point arguments they receive, for checking FFIs")
set(CPACK_PACKAGE_FILE_NAME quellot-${PROJECT_VERSION}-${QUELLOT_TARGET})
set(CPACK_GENERATOR ${QUELLOT_PACKAGE_GENERATORS})
# The programs and the library without their debugging information.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file and the ldconfig trigger, since the package puts a shared
# library in /usr/lib.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

include(CPack)
