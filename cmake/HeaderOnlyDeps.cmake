# CLI11 and nlohmann-json for the tools.  They are header-only: in a cross
# build the host's copies serve the target too, but their packages' CMake
# files point at /usr/include, which must never reach a cross compile (it
# holds the host's C library headers).  So the cross build gets targets of
# the same names over a folder holding only these two headers' trees.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
  return()
endif()

set(_stage ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_stage})
foreach(_tree CLI nlohmann)
  if(NOT EXISTS /usr/include/${_tree})
    message(FATAL_ERROR "/usr/include/${_tree} missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
  file(CREATE_LINK /usr/include/${_tree} ${_stage}/${_tree} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_stage})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_stage})
