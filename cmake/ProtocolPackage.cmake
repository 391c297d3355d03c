# The `dev` install component: the wire headers for the RTOS firmware, with a
# CMake package (target sim7100::protocol) and a pkg-config file.
#
# The header is the whole package and means the same on every architecture,
# so Debian ships it as an Architecture: all -dev package.  Such a package
# cannot install below a multiarch directory (/usr/lib/<triplet>), so the
# CMake and pkg-config files go under /usr/share, where find_package and
# pkg-config look for architecture-independent packages and lintian expects
# them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SIM7100_PROTOCOL_CMAKEDIR ${CMAKE_INSTALL_DATADIR}/cmake/sim7100-protocol)

install(FILES ${PROJECT_SOURCE_DIR}/protocol/sim7100_protocol.h ${PROJECT_SOURCE_DIR}/protocol/sim7100_meanings.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sim7100
        COMPONENT dev)

file(WRITE ${PROJECT_BINARY_DIR}/sim7100-protocol-config.cmake.in [=[
# sim7100::protocol: the wire vocabulary between sim7100d and the RTOS side.
# Header only; include it as <sim7100/sim7100_protocol.h>, and
# <sim7100/sim7100_meanings.h> for what the response's numbers mean.
@PACKAGE_INIT@

if(NOT TARGET sim7100::protocol)
  add_library(sim7100::protocol INTERFACE IMPORTED)
  set_target_properties(sim7100::protocol PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "@PACKAGE_CMAKE_INSTALL_INCLUDEDIR@")
endif()

check_required_components(sim7100-protocol)
]=])
# The include directory is found relative to the installed file, so a DESTDIR
# or a firmware sysroot holding the package works as well as /usr.
configure_package_config_file(
  ${PROJECT_BINARY_DIR}/sim7100-protocol-config.cmake.in ${PROJECT_BINARY_DIR}/sim7100-protocol-config.cmake
  INSTALL_DESTINATION ${SIM7100_PROTOCOL_CMAKEDIR} PATH_VARS CMAKE_INSTALL_INCLUDEDIR)
# No compiled code: a 32-bit firmware project must accept what a 64-bit build
# machine installed.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sim7100-protocol-config-version.cmake
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/sim7100-protocol-config.cmake
              ${PROJECT_BINARY_DIR}/sim7100-protocol-config-version.cmake
        DESTINATION ${SIM7100_PROTOCOL_CMAKEDIR} COMPONENT dev)

if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SIM7100_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(SIM7100_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/sim7100-protocol.pc @ONLY CONTENT [=[
prefix=@CMAKE_INSTALL_PREFIX@
includedir=@SIM7100_PC_INCLUDEDIR@

Name: sim7100-protocol
Description: Wire vocabulary between sim7100d and the RTOS side (header only)
Version: @PROJECT_VERSION@
Cflags: -I${includedir}
]=])
install(FILES ${PROJECT_BINARY_DIR}/sim7100-protocol.pc DESTINATION ${CMAKE_INSTALL_DATADIR}/pkgconfig COMPONENT dev)
