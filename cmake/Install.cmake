# Install rules, by component:
#   daemon      sbin/sim7100d, its systemd unit, tmpfiles.d and modules-load.d
#               entries, the AT port's udev rule, sim7100d(8)
#   initscript  the BusyBox init script, for roots without systemd
#   tools       bin/sim7100ctl, bin/modemsim and their manual pages
# sim7100d-dev is never installed.
include(GNUInstallDirs)

# Debian 12 keeps units in /lib/systemd/system and wants a copyright file
# and a changelog with each package; Buildroot and Yocto keep units under
# the prefix.  Relative paths are taken under CMAKE_INSTALL_PREFIX.
option(SIM7100_DEBIAN_LAYOUT "Install for Debian packages (scripts/package)" OFF)
if(SIM7100_DEBIAN_LAYOUT)
  set(SIM7100_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE STRING "Where the systemd unit goes")
else()
  set(SIM7100_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd unit goes")
endif()
set(SIM7100_TMPFILES_DIR "lib/tmpfiles.d" CACHE STRING "Where the tmpfiles.d entry goes")

set(SIM7100_DAEMON_PATH ${CMAKE_INSTALL_FULL_SBINDIR}/sim7100d)
set(SIM7100_PIDFILE ${CMAKE_INSTALL_FULL_RUNSTATEDIR}/sim7100d.pid)
set(SIM7100_LOGFILE ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/log/sim7100d.log)
set(SIM7100_DEFAULTS ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/sim7100d)
set(_dist ${PROJECT_SOURCE_DIR}/dist)
set(_out ${PROJECT_BINARY_DIR}/dist)
configure_file(${_dist}/systemd/sim7100d.service.in ${_out}/sim7100d.service @ONLY)
configure_file(${_dist}/init.d/S50sim7100d.in ${_out}/S50sim7100d @ONLY)

install(TARGETS sim7100d RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT daemon)
install(FILES ${_out}/sim7100d.service DESTINATION ${SIM7100_SYSTEMD_UNIT_DIR} COMPONENT daemon)
install(FILES ${_dist}/tmpfiles.d/sim7100d.conf DESTINATION ${SIM7100_TMPFILES_DIR} COMPONENT daemon)
install(FILES ${_dist}/modules-load.d/sim7100d.conf DESTINATION lib/modules-load.d COMPONENT daemon)
install(FILES ${_dist}/udev/70-sim7100d-at-port.rules DESTINATION lib/udev/rules.d COMPONENT daemon)
# GNUInstallDirs maps the prefix /usr to /etc only in the full path.
install(PROGRAMS ${_out}/S50sim7100d DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d
        COMPONENT initscript)
if(TARGET sim7100ctl)
  install(TARGETS sim7100ctl modemsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# Manual pages: one scdoc source each, installed compressed (man reads both).
find_program(SIM7100_SCDOC scdoc)
find_program(SIM7100_GZIP gzip)
if(NOT SIM7100_SCDOC OR NOT SIM7100_GZIP)
  message(WARNING "scdoc or gzip missing: no manual pages (install scdoc)")
  return()
endif()
set(_pages sim7100d.8)
if(TARGET sim7100ctl)
  list(APPEND _pages sim7100ctl.1 modemsim.1)
endif()
set(_built)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
foreach(_page ${_pages})
  set(_src ${PROJECT_SOURCE_DIR}/docs/man/${_page}.scd)
  set(_man ${PROJECT_BINARY_DIR}/man/${_page})
  add_custom_command(OUTPUT ${_man} ${_man}.gz
    COMMAND sh -c [["$0" <"$2" >"$3" && "$1" -9nc "$3" >"$3.gz"]]
            ${SIM7100_SCDOC} ${SIM7100_GZIP} ${_src} ${_man}
    DEPENDS ${_src} VERBATIM)
  list(APPEND _built ${_man} ${_man}.gz)
  string(REGEX REPLACE ".*\\." "" _section ${_page})
  if(_page STREQUAL sim7100d.8)
    set(_component daemon)
  else()
    set(_component tools)
  endif()
  install(FILES ${_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section} COMPONENT ${_component})
endforeach()
add_custom_target(manpages ALL DEPENDS ${_built})
