# One protocol check, run by ctest as `cmake -DCHECK=... -P check.cmake`.
# A tool that this host lacks prints "protocol: SKIPPED: <reason>", which ctest
# counts skipped; under CI (CI set) that is a failure with the same reason.
#   header       COMPILER STD LANG TARGET_FLAGS: the header compiles alone,
#                and a probe that narrows uint32_t is refused by its checks
#   install      the dev component into a fresh DESTDIR
#   find_package a Cortex-M4 firmware project finds it in that DESTDIR
#   pkg-config   its Cflags lead a compiler to the header in that DESTDIR
cmake_minimum_required(VERSION 3.25)

# Ends the check with a skip (a failure under CI) when the program is missing,
# else sets `found`.
macro(need program)
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
  run("the header under ${COMPILER} -std=${STD}" ${cc} ${SOURCE_DIR}/protocol/sim7100_protocol.h -o ${WORK}.o)
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
  run("compiling with the Cflags ${cflags}" ${C_COMPILER} ${cflags} -fsyntax-only
      ${SOURCE_DIR}/tests/protocol/consumer/consumer.c)
else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()
