# Debian packages with CPack (scripts/package runs it):
#   sim7100d              component daemon, with maintainer scripts
#   sim7100-tools         component tools
#   sim7100-protocol-dev  component dev (the protocol headers, the link library's source), when defined
# and the debug symbols of each in a -dbgsym package.  The init script is
# left out: Debian boards start the daemon with systemd.
#
# It runs at the end of the top-level CMakeLists.txt, when every install
# rule, wherever included, has named its component.
# The maintainer a board vendor puts its own name to (scripts/package takes
# it from DEBFULLNAME and DEBEMAIL).
set(SIM7100_MAINTAINER "sim7100d developers <sim7100d@example.com>"
    CACHE STRING "Maintainer field and changelog signature of the Debian packages")

function(sim7100_packaging)
  get_cmake_property(_components COMPONENTS)
  set(_packaged)
  foreach(_c daemon tools dev)
    if(_c IN_LIST _components)
      list(APPEND _packaged ${_c})
    endif()
  endforeach()

  # Debian wants a copyright file and a changelog in every package.
  set(_debian ${PROJECT_SOURCE_DIR}/dist/debian)
  configure_file(${_debian}/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog)
  set(CPACK_DEBIAN_DAEMON_PACKAGE_NAME sim7100d)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME sim7100-tools)
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME sim7100-protocol-dev)
  foreach(_c ${_packaged})
    string(TOUPPER ${_c} _C)
    if(SIM7100_DEBIAN_LAYOUT)
      install(FILES ${_debian}/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
              DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${_C}_PACKAGE_NAME}
              COMPONENT ${_c})
    endif()
  endforeach()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME sim7100d)
  set(CPACK_PACKAGE_VENDOR "sim7100d developers")
  set(CPACK_PACKAGE_CONTACT "${SIM7100_MAINTAINER}")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  set(CPACK_COMPONENTS_ALL ${_packaged})
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The binaries go in stripped; their symbols into NAME-dbgsym.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)

  set(CPACK_DEBIAN_DAEMON_PACKAGE_SECTION net)
  # What Connect and Disconnect run: ifconfig, udhcpc, pkill.  Debian's
  # busybox installs no command links and has no pkill.
  set(CPACK_DEBIAN_DAEMON_PACKAGE_DEPENDS "net-tools, udhcpc, procps")
  set(CPACK_COMPONENT_DAEMON_DESCRIPTION "LTE modem manager for SIM7100 and SIM7600 modules
sim7100d drives a SIM7100E, SIM7100A or SIM7600G LTE module over its AT
port /dev/ttyUSB2 on behalf of the board's RTOS side, which it reaches on
the local TCP port 50001: power, the data connection on wwan0, SIM and APN
settings, network information, GPS and time, cell location, SMS and raw AT
commands.

This package starts it with systemd, restarting it whenever it ends.")
  set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_EXTRA
      ${_debian}/postinst ${_debian}/prerm ${_debian}/postrm)
  set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_COMPONENT_TOOLS_DESCRIPTION "test tools for the sim7100d LTE modem manager
sim7100ctl stands in for the RTOS side: it listens on the daemon's port,
sends requests and prints the responses.  modemsim simulates a SIM7100 or
SIM7600 module on a pseudo-terminal, with the faults seen in the field.")

  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_DEV_DEBUGINFO_PACKAGE OFF)
  set(CPACK_COMPONENT_DEV_DESCRIPTION "RTOS-side link to the sim7100d LTE modem manager, C headers and source
The link between sim7100d and the board's RTOS side, for the firmware:
 * sim7100_protocol.h: the message numbers, the response record and every
   request payload layout, checked at compile time;
 * sim7100_meanings.h: what cmdStatus, errCode, chip types and SMS values
   mean;
 * sim7100_link.h and sim7100_link.c: the RTOS side's half of the link in
   C89 to C11, without heap or stdio, over any TCP stack: frames requests
   and checks their fields as the daemon will, reassembles responses from
   the byte stream and pairs them with their requests.

The library ships as source that the firmware's own toolchain compiles: a
CMake package (sim7100::link adds the source to the firmware's target) and a
pkg-config file (its link_source variable names the source).")

  include(CPack)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL sim7100_packaging)
