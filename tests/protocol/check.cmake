# One protocol check, run by ctest as `cmake -DCHECK=... -P check.cmake`.
# A tool that this host lacks prints "protocol: SKIPPED: <reason>", which ctest
# counts skipped; under CI (CI set) that is a failure with the same reason.
#   header       COMPILER STD LANG TARGET_FLAGS: the header compiles alone,
#                so does the link library, and a probe that narrows
#                uint32_t is refused by the header's checks
#   install      the dev component into a fresh DESTDIR
#   find_package a Cortex-M4 firmware project finds it in that DESTDIR and
#                compiles the link library with its own sources
#   pkg-config   its Cflags lead a compiler to the header in that DESTDIR,
#                and its link_source variable to the library's source
#   run          [EMULATOR] PROGRAM [PLANTED]: the link library's tests pass, or with
#                PLANTED fail on the planted row with a failing status
#   cortexm      [PLANTED]: the same tests built for a Cortex-M4 and run
#                under qemu-system-arm, status through semihosting
cmake_minimum_required(VERSION 3.25)

# Ends the check with a skip (a failure under CI) when the program is missing,
# else sets `found`.
macro(need program)
  unset(found)
  find_program(found NAMES ${program} NO_CACHE)
  if(NOT found)
    if(NOT "$ENV{CI}" STREQUAL "")
      message("protocol: FAILED: cannot run under CI: ${program} is not installed")
      message(FATAL_ERROR "cannot run under CI")
    endif()
    message("protocol: SKIPPED: ${program} is not installed")
    return()
  endif()
endmacro()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}")
  endif()
endfunction()

if(CHECK STREQUAL "header")
  need(${COMPILER})
  separate_arguments(TARGET_FLAGS UNIX_COMMAND "${TARGET_FLAGS}")
  set(cc ${found} -x ${LANG} -std=${STD} -Wall -Wextra -pedantic -Werror ${TARGET_FLAGS} -I${SOURCE_DIR}/protocol -c)
  foreach(header sim7100_protocol.h sim7100_meanings.h)
    run("${header} under ${COMPILER} -std=${STD}" ${cc} ${SOURCE_DIR}/protocol/${header} -o ${WORK}.o)
  endforeach()
  # The link library: its source in C, its header in C++.
  if(LANG STREQUAL "c")
    run("the link library under ${COMPILER} -std=${STD}" ${cc} ${SOURCE_DIR}/protocol/sim7100_link.c -o ${WORK}.o)
    run("the link library without meanings" ${cc} -DSIM7100_LINK_NO_MEANINGS ${SOURCE_DIR}/protocol/sim7100_link.c -o ${WORK}.o)
  else()
    run("the link header under ${COMPILER} -std=${STD}" ${cc} ${SOURCE_DIR}/protocol/sim7100_link.h -o ${WORK}.o)
  endif()
  # A frame header of 4 bytes instead of 8 must not get through.
  file(WRITE ${WORK}.h "#include <stdint.h>\n#define uint32_t uint16_t\n#include \"sim7100_protocol.h\"\n")
  execute_process(COMMAND ${cc} ${WORK}.h -o ${WORK}.o RESULT_VARIABLE rc ERROR_VARIABLE out)
  if(rc EQUAL 0 OR NOT out MATCHES "frame_header")
    message(FATAL_ERROR "a wrong frame header got past the layout checks (status ${rc}):\n${out}")
  endif()
elseif(CHECK STREQUAL "install")
  file(REMOVE_RECURSE ${DESTDIR})
  set(ENV{DESTDIR} ${DESTDIR})
  run("installing the dev component" ${CMAKE_COMMAND} --install ${BINARY_DIR} --component dev)
elseif(CHECK STREQUAL "find_package")
  need(arm-none-eabi-gcc)
  file(REMOVE_RECURSE ${WORK})
  run("configuring the firmware project" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/protocol/consumer -B ${WORK}
      -DCMAKE_SYSTEM_NAME=Generic -DCMAKE_SYSTEM_PROCESSOR=arm -DCMAKE_C_COMPILER=${found}
      "-DCMAKE_C_FLAGS=-mcpu=cortex-m4 -mthumb" -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY
      -DCMAKE_FIND_ROOT_PATH=${DESTDIR} -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY -DCMAKE_PREFIX_PATH=${PREFIX})
  run("building the firmware project" ${CMAKE_COMMAND} --build ${WORK})
  file(GLOB_RECURSE objects ${WORK}/*sim7100_link.c.o*)
  if(NOT objects)
    message(FATAL_ERROR "the firmware project did not compile the link library's source")
  endif()
elseif(CHECK STREQUAL "pkg-config")
  need(pkg-config)
  set(ENV{PKG_CONFIG_PATH} ${DESTDIR}${DATADIR}/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${DESTDIR})
  execute_process(COMMAND ${found} --cflags sim7100-protocol OUTPUT_VARIABLE cflags RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know sim7100-protocol")
  endif()
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  execute_process(COMMAND ${found} --variable=link_source sim7100-protocol OUTPUT_VARIABLE source
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  run("compiling with the Cflags ${cflags}" ${C_COMPILER} ${cflags} -Wall -Wextra -pedantic -Werror
      -fsyntax-only ${SOURCE_DIR}/tests/protocol/consumer/consumer.c ${source})
elseif(CHECK STREQUAL "run" OR CHECK STREQUAL "cortexm")
  if(CHECK STREQUAL "cortexm")
    need(arm-none-eabi-gcc)
    set(elf ${WORK}.elf)
    set(dir ${SOURCE_DIR}/tests/protocol)
    if(PLANTED)
      set(plant -DSIM7100_LINK_PLANTED)
    endif()
    run("building the tests for the Cortex-M4" ${found} -mcpu=cortex-m4 -mthumb -Os -std=c99 -Wall -Wextra -Werror
        ${plant} --specs=rdimon.specs -nostartfiles -T ${dir}/cortexm/cortexm.ld -I${SOURCE_DIR}/protocol
        ${dir}/cortexm/startup.c ${dir}/link_test.c ${SOURCE_DIR}/protocol/sim7100_link.c -o ${elf})
    need(qemu-system-arm)
    set(PROGRAM ${found} -M mps2-an386 -display none -semihosting-config enable=on,target=native -kernel ${elf})
  endif()
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
  message("${out}")
  if(PLANTED AND (rc EQUAL 0 OR NOT out MATCHES "FAILED: checks row"))
    message(FATAL_ERROR "the planted failure did not fail the run (status ${rc})")
  elseif(NOT PLANTED AND NOT (rc EQUAL 0 AND out MATCHES "[1-9][0-9]* passed, 0 failed"))
    message(FATAL_ERROR "the link library's tests failed (status ${rc})")
  endif()
else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()
