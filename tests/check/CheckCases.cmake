# One test per folder of tests/check/cases: PorticoCheck run in that folder, its output compared
# with the folder's expected files (run-case.sh). The Windows and the Linux build run the same cases
# against the same expected files.
set(PORTICO_CHECK_CASES ${CMAKE_CURRENT_LIST_DIR}/cases)
set(PORTICO_CHECK_RUNNER ${CMAKE_CURRENT_LIST_DIR}/run-case.sh)

# portico_add_check_cases(PREFIX MODE [WINEPREFIX] CHECKER): MODE is native or wine.
function(portico_add_check_cases prefix mode)
  file(GLOB cases LIST_DIRECTORIES true ${PORTICO_CHECK_CASES}/*)
  foreach(case ${cases})
    if(IS_DIRECTORY ${case})
      get_filename_component(name ${case} NAME)
      add_test(NAME ${prefix}.${name} COMMAND bash ${PORTICO_CHECK_RUNNER} ${case} ${mode} ${ARGN})
      set_tests_properties(${prefix}.${name} PROPERTIES TIMEOUT 60)
    endif()
  endforeach()
endfunction()
