# End-to-end tests under Wine (label e2e). Included by the host build.
# Each test run makes one 64-bit and one 32-bit throwaway prefix (CTest
# fixtures e2e_p64 / e2e_p32), runs the scenarios of a prefix one at a time
# (RESOURCE_LOCK: they share the prefix's process and device tables) and the
# two prefixes side by side under `ctest -j2`. Needs dist/ and the fixtures of
# build/win32 and build/win64 (the Makefile builds them first). On a machine
# that runs no 32-bit program, what needs one exits with 77 and is reported as
# skipped (tests/e2e/winestart.py).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(E2E_PY ${CMAKE_CURRENT_LIST_DIR}/e2e.py)
set(E2E_WORK ${CMAKE_BINARY_DIR}/e2e)

execute_process(COMMAND ${Python3_EXECUTABLE} ${E2E_PY} list
                OUTPUT_VARIABLE E2E_LIST RESULT_VARIABLE E2E_LIST_RC)
if(NOT E2E_LIST_RC EQUAL 0)
  message(FATAL_ERROR "tests/e2e/e2e.py list failed")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${E2E_PY} ${CMAKE_CURRENT_LIST_DIR}/scenarios.py ${CMAKE_CURRENT_LIST_DIR}/harness.py)
string(REPLACE "\n" ";" E2E_LIST "${E2E_LIST}")

foreach(px p64 p32)
  add_test(NAME e2e_setup_${px} COMMAND ${Python3_EXECUTABLE} ${E2E_PY} --work ${E2E_WORK} setup ${px})
  add_test(NAME e2e_cleanup_${px} COMMAND ${Python3_EXECUTABLE} ${E2E_PY} --work ${E2E_WORK} cleanup ${px})
  set_tests_properties(e2e_setup_${px} PROPERTIES FIXTURES_SETUP e2e_${px} LABELS e2e TIMEOUT 300
                       SKIP_RETURN_CODE 77)
  set_tests_properties(e2e_cleanup_${px} PROPERTIES FIXTURES_CLEANUP e2e_${px} LABELS e2e TIMEOUT 120)
  set(E2E_ORDINARY_${px})
  set(E2E_LAST_${px})
endforeach()

foreach(entry IN LISTS E2E_LIST)
  if(entry STREQUAL "")
    continue()
  endif()
  string(REPLACE " " ";" parts "${entry}")
  list(GET parts 0 scenario)
  list(GET parts 1 px)
  set(test e2e_${scenario}_${px})
  add_test(NAME ${test} COMMAND ${Python3_EXECUTABLE} ${E2E_PY} --work ${E2E_WORK} run ${scenario} ${px})
  set_tests_properties(${test} PROPERTIES LABELS e2e TIMEOUT 240 SKIP_RETURN_CODE 77
                       FIXTURES_REQUIRED e2e_${px} RESOURCE_LOCK e2e_${px})
  # A restart ends every process of the prefix: run those scenarios last.
  if(scenario MATCHES "^restart_")
    list(APPEND E2E_LAST_${px} ${test})
  else()
    list(APPEND E2E_ORDINARY_${px} ${test})
  endif()
endforeach()

foreach(px p64 p32)
  foreach(test IN LISTS E2E_LAST_${px})
    set_tests_properties(${test} PROPERTIES DEPENDS "${E2E_ORDINARY_${px}}")
  endforeach()
endforeach()

# The stand-in against Wine, in each prefix, through probes built for both: ini reading
# (GetPrivateProfileStringA on the files of tests/e2e/data/ini, tests/e2e/inicompare.py), and
# current directories with launches by a bare name (SetCurrentDirectoryA, _chdrive and
# ShellExecuteA, tests/e2e/dircompare.py). Needs the host build's probes, which a setup test
# builds first.
add_test(NAME e2e_host_probes_build
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target inidump_host dirprobe_host)
set_tests_properties(e2e_host_probes_build PROPERTIES FIXTURES_SETUP e2e_host_probes LABELS e2e
                     TIMEOUT 600)
foreach(px p64 p32)
  foreach(compare ini dir)
    set(test e2e_${compare}_compare_${px})
    if(compare STREQUAL "ini")
      set(probe inidump_host)
    else()
      set(probe dirprobe_host)
    endif()
    add_test(NAME ${test}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/${compare}compare.py
                     --work ${E2E_WORK} --host $<TARGET_FILE:${probe}> ${px})
    set_tests_properties(${test} PROPERTIES LABELS e2e TIMEOUT 240 SKIP_RETURN_CODE 77
                         FIXTURES_REQUIRED "e2e_${px};e2e_host_probes" RESOURCE_LOCK e2e_${px})
    # Before the scenarios that restart the prefix, as the other ordinary ones.
    foreach(last IN LISTS E2E_LAST_${px})
      set_property(TEST ${last} APPEND PROPERTY DEPENDS ${test})
    endforeach()
  endforeach()
endforeach()
