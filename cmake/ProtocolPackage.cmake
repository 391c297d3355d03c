# The `dev` install component: the wire header for the RTOS firmware and the
# RTOS side's link library as source, with a CMake package (targets
# sim7100::protocol and sim7100::link) and a pkg-config file.
#
# Nothing in the package is compiled: the firmware's own toolchain builds the
# library's one source file, so the package means the same on every
# architecture and Debian ships it as an Architecture: all -dev package.  Such a package
# cannot install below a multiarch directory (/usr/lib/<triplet>), so the
# CMake and pkg-config files go under /usr/share, where find_package and
# pkg-config look for architecture-independent packages and lintian expects
# them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SIM7100_PROTOCOL_CMAKEDIR ${CMAKE_INSTALL_DATADIR}/cmake/sim7100-protocol)

# In this tree: the library for the tests' RTOS peer, the benchmark and the
# fuzz targets.
add_library(sim7100_link STATIC ${PROJECT_SOURCE_DIR}/protocol/sim7100_link.c)
target_link_libraries(sim7100_link PUBLIC sim7100_protocol)

install(FILES ${PROJECT_SOURCE_DIR}/protocol/sim7100_protocol.h ${PROJECT_SOURCE_DIR}/protocol/sim7100_link.h
              ${PROJECT_SOURCE_DIR}/protocol/sim7100_link.c DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sim7100
        COMPONENT dev)

file(WRITE ${PROJECT_BINARY_DIR}/sim7100-protocol-config.cmake.in [=[
# sim7100::protocol: the wire vocabulary between sim7100d and the RTOS side,
# header only; include it as <sim7100/sim7100_protocol.h>.
# sim7100::link: the RTOS side's half of the link, <sim7100/sim7100_link.h>;
# its source joins the sources of the target that links it.
@PACKAGE_INIT@

if(NOT TARGET sim7100::protocol)
  add_library(sim7100::protocol INTERFACE IMPORTED)
  set_target_properties(sim7100::protocol PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "@PACKAGE_CMAKE_INSTALL_INCLUDEDIR@")
endif()
if(NOT TARGET sim7100::link)
  add_library(sim7100::link INTERFACE IMPORTED)
  set_target_properties(sim7100::link PROPERTIES
    INTERFACE_SOURCES "@PACKAGE_CMAKE_INSTALL_INCLUDEDIR@/sim7100/sim7100_link.c"
    INTERFACE_LINK_LIBRARIES sim7100::protocol)
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
# The RTOS side's link library, compiled with the firmware's sources.
link_source=${includedir}/sim7100/sim7100_link.c

Name: sim7100-protocol
Description: Wire vocabulary between sim7100d and the RTOS side, and the RTOS side's link library as source
Version: @PROJECT_VERSION@
Cflags: -I${includedir}
]=])
install(FILES ${PROJECT_BINARY_DIR}/sim7100-protocol.pc DESTINATION ${CMAKE_INSTALL_DATADIR}/pkgconfig COMPONENT dev)
