# The daemon's libraries and its two executables.  Dependencies point one
# way: app -> ipc, modem; everything -> protocol, platform.

add_library(sim7100_protocol INTERFACE)
target_include_directories(sim7100_protocol INTERFACE ${PROJECT_SOURCE_DIR}/protocol)

if(SIM7100_BOARD_PAL)
  set(SIM7100_PAL_INCLUDE_DIR "" CACHE PATH "Folder of the board's libpal.h")
  set(SIM7100_PAL_LIBRARY "" CACHE FILEPATH "The board's libpal library")
  add_library(sim7100_platform STATIC platform/process_exit.cpp)
  target_compile_definitions(sim7100_platform PUBLIC SIM7100_BOARD_PAL)
  target_include_directories(sim7100_platform PUBLIC ${SIM7100_PAL_INCLUDE_DIR})
  target_link_libraries(sim7100_platform PUBLIC ${SIM7100_PAL_LIBRARY})
else()
  add_library(sim7100_platform STATIC platform/pal_posix.cpp platform/process_exit.cpp)
endif()
target_include_directories(sim7100_platform PUBLIC ${PROJECT_SOURCE_DIR}/platform)
find_package(Threads REQUIRED)
target_link_libraries(sim7100_platform PUBLIC Threads::Threads)

# Settings: fixed values in sim7100d, environment overrides in sim7100d-dev.
# Object libraries, so the choice can sit anywhere on a link line.
add_library(sim7100_settings OBJECT platform/settings.cpp)
target_include_directories(sim7100_settings PUBLIC ${PROJECT_SOURCE_DIR}/platform)
add_library(sim7100_settings_dev OBJECT platform/settings.cpp)
target_include_directories(sim7100_settings_dev PUBLIC ${PROJECT_SOURCE_DIR}/platform)
target_compile_definitions(sim7100_settings_dev PRIVATE SIM7100D_DEV)

add_library(sim7100_ipc STATIC ipc/ipc_service.cpp)
target_include_directories(sim7100_ipc PUBLIC ${PROJECT_SOURCE_DIR}/ipc)
target_link_libraries(sim7100_ipc PUBLIC sim7100_protocol sim7100_platform)

file(GLOB SIM7100_MODEM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/modem/*.cpp)
add_library(sim7100_modem STATIC ${SIM7100_MODEM_SOURCES})
target_include_directories(sim7100_modem PUBLIC ${PROJECT_SOURCE_DIR}/modem)
target_link_libraries(sim7100_modem PUBLIC sim7100_protocol sim7100_platform)

add_library(sim7100_app STATIC app/request_loop.cpp app/dispatch.cpp)
target_include_directories(sim7100_app PUBLIC ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(sim7100_app PUBLIC sim7100_ipc sim7100_modem)

add_executable(sim7100d app/main.cpp)
target_link_libraries(sim7100d PRIVATE sim7100_app sim7100_settings)

add_executable(sim7100d-dev app/main.cpp)
target_compile_definitions(sim7100d-dev PRIVATE SIM7100D_DEV)
target_link_libraries(sim7100d-dev PRIVATE sim7100_app sim7100_settings_dev)

# The C++ runtime goes into the executables: the daemon uses a few kilobytes
# of it, so the board needs no libstdc++ of a matching version, and start-up
# skips loading and relocating the shared one (docs/performance.md).  The
# sanitizers bring their own runtimes and stay dynamic.
function(sim7100_static_runtime target)
  if(NOT SIM7100_SANITIZE)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
  endif()
endfunction()
sim7100_static_runtime(sim7100d)
sim7100_static_runtime(sim7100d-dev)
