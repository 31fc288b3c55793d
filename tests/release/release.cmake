# Release tests (label release, `make release-test`): the version resource of the shipped
# programs, a second build compared byte for byte, signing with a throwaway certificate and the
# medium kit. Included by the host build; they need `make dist` first. One more, with label e2e,
# runs signed launchers in the 64-bit Wine prefix of the end-to-end tests.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(RELEASE_PY ${CMAKE_CURRENT_LIST_DIR}/release_test.py)
set(RELEASE_WORK ${CMAKE_BINARY_DIR}/release)

foreach(check version reproducible signing kit)
  add_test(NAME release_${check} COMMAND ${Python3_EXECUTABLE} ${RELEASE_PY} --work ${RELEASE_WORK} ${check})
  set_tests_properties(release_${check} PROPERTIES LABELS release TIMEOUT 300)
endforeach()
# Both run `make dist` on the cross build trees of the source tree.
set_tests_properties(release_signing release_kit PROPERTIES RESOURCE_LOCK release_build_trees)

if(DEFINED E2E_WORK)
  add_test(NAME e2e_signed_launchers_p64
           COMMAND ${Python3_EXECUTABLE} ${RELEASE_PY} --work ${RELEASE_WORK} --e2e-work ${E2E_WORK} signed-run)
  set_tests_properties(e2e_signed_launchers_p64 PROPERTIES LABELS e2e TIMEOUT 240 SKIP_RETURN_CODE 77
                       FIXTURES_REQUIRED e2e_p64 RESOURCE_LOCK e2e_p64)
  # Before the scenarios that restart the prefix, as the other ordinary ones.
  foreach(last IN LISTS E2E_LAST_p64)
    set_property(TEST ${last} APPEND PROPERTY DEPENDS e2e_signed_launchers_p64)
  endforeach()
endif()
