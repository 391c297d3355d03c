# Runs each replay binary over its seed corpus and its saved crashes:
# fuzz/corpus/<target>/ and fuzz/regressions/<target>/.  EMULATOR runs a
# cross build's binaries.
foreach(replay ${REPLAYS})
  get_filename_component(target ${replay} NAME_WE)
  execute_process(COMMAND ${EMULATOR} ${replay} ${FUZZ_DIR}/corpus/${target} ${FUZZ_DIR}/regressions/${target}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${target}: replay failed (${status})")
  endif()
endforeach()
