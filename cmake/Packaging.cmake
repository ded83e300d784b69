# `make package`: a Debian package of everything `cmake --install` puts in place.
# Its dependencies are computed by dpkg-shlibdeps from the libraries the two
# programs link (the Qt 6 runtime, the C and C++ libraries), never written by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyscope)
set(CPACK_PACKAGE_VENDOR "The Tallyscope developers")
set(CPACK_PACKAGE_CONTACT "The Tallyscope developers <maintainers@tallyscope.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service and monitoring tool for the VL4300 counter module")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyscope talks to a VL4300 counter module (eight counters, eight digital\n\
inputs, eight digital outputs) over a serial line in the module's own ASCII\n\
protocol, Modbus ASCII or Modbus RTU: it reads, scales, clears and presets the\n\
counters, reads the inputs and switches the outputs. The module simulator\n\
vl4300-sim comes with it.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TALLYSCOPE_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debugging information; the package does not need it.
set(CPACK_STRIP_FILES ON)

# Everything `cmake --install` puts in place, and the files only a Debian
# package carries (its changelog, its lintian overrides), in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Debian revision 1 of the upstream version: its changes are in
# /usr/share/doc/tallyscope/changelog.Debian.gz (data/debian/changelog), whose
# first entry names this version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The example options file is the administrator's once installed: an upgrade
# asks before replacing an edited one, and removal leaves it until purge.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/tallyscope/example.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
