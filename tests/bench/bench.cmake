# Smoke run of the benchmark (labels e2e and bench-smoke). Included by the host
# build. `bench.py --quick` makes its own throwaway Wine prefix, runs each
# figure once for a few seconds and fails only when the script itself breaks
# (missing records, a run that does not end), never on the figures. Needs dist/
# and the fixtures of build/win64 (the Makefile's e2e-test builds them first).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_test(NAME bench_smoke
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/bench.py --quick --no-build
                 --work ${CMAKE_BINARY_DIR}/bench-smoke --out ${CMAKE_BINARY_DIR}/bench-smoke/results.md)
set_tests_properties(bench_smoke PROPERTIES LABELS "e2e;bench-smoke" TIMEOUT 300)
