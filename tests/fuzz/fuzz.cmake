# libFuzzer harnesses (clang): the setup list reader, the path tokens, relative paths, the launch
# parameters, the path helpers, the medium checker and its installer recognition, each linked
# with the product and the simulated machine.
# Run them with `make fuzz` (FUZZ_SECONDS each) or `make fuzz-smoke`; see tests/fuzz/run.sh.
set(FUZZ_TARGETS setuplist tokens relative parameters paths checker installer)
set(FUZZ_SANITIZERS -fsanitize=fuzzer,address,undefined)
foreach(target ${FUZZ_TARGETS})
  add_executable(fuzz_${target} tests/fuzz/${target}.cpp)
  target_compile_options(fuzz_${target} PRIVATE -g ${FUZZ_SANITIZERS} -fno-sanitize-recover=all
                         -Wall -Wextra -Werror)
  target_link_options(fuzz_${target} PRIVATE ${FUZZ_SANITIZERS})
  target_link_libraries(fuzz_${target} PRIVATE stagerun_checker)
endforeach()
