# Host build: the same sources against the Win32 stand-in, with GoogleTest tests under CTest.
option(STAGERUN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(STAGERUN_FUZZ "Build the libFuzzer harnesses (clang)" OFF)

set(HOST_FLAGS -g)
if(STAGERUN_SANITIZE)
  list(APPEND HOST_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
       -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
# The stand-in is checked by the sanitizers but gives the fuzzer no coverage: inputs are kept for
# what they do in the product, not in the simulation.
set(SIM_FLAGS ${HOST_FLAGS})
if(STAGERUN_FUZZ)
  list(APPEND SIM_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
  list(APPEND HOST_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
endif()

add_library(winsim STATIC winsim/core.cpp winsim/files.cpp winsim/convert.cpp winsim/user.cpp
            winsim/system.cpp winsim/registry.cpp)
target_include_directories(winsim PUBLIC winsim/include winsim)
target_compile_options(winsim PRIVATE ${SIM_FLAGS} -Wall -Wextra -Werror)

add_library(stagerun_core STATIC ${STAGERUN_SOURCES})
target_include_directories(stagerun_core PUBLIC app)
target_compile_options(stagerun_core PRIVATE ${HOST_FLAGS} ${STAGERUN_WARNINGS})
# The simulated process start calls the program's entry point: the two libraries need each other.
add_library(stagerun_host INTERFACE)
target_link_libraries(stagerun_host INTERFACE "$<LINK_GROUP:RESCAN,stagerun_core,winsim>")
target_include_directories(stagerun_host INTERFACE app winsim/include winsim)
target_include_directories(stagerun_core PRIVATE winsim/include)

# The medium checker's logic; its console entry point is only in the Windows build.
add_library(stagerun_checker STATIC ${STAGERUN_CHECKER_SOURCES})
target_include_directories(stagerun_checker PUBLIC checker)
target_compile_options(stagerun_checker PRIVATE ${HOST_FLAGS} ${STAGERUN_WARNINGS})
target_link_libraries(stagerun_checker PUBLIC stagerun_host)

if(STAGERUN_FUZZ)
  include(tests/fuzz/fuzz.cmake OPTIONAL)
  return()
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
add_executable(host_tests ${HOST_TEST_SOURCES})
target_compile_options(host_tests PRIVATE ${HOST_FLAGS} -Wall -Wextra -Werror)
target_link_libraries(host_tests PRIVATE stagerun_checker GTest::gtest GTest::gtest_main)
# For the tests that read files of the tree, such as the setup list template.
target_compile_definitions(host_tests PRIVATE STAGERUN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# Each test runs in a process of its own: a scenario starts from a freshly started program. A
# table's cases are named by its name generator alone, without the printed parameter.
gtest_discover_tests(host_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(NOT STAGERUN_SANITIZE)
  add_test(NAME install_deps_decisions COMMAND bash ${CMAKE_SOURCE_DIR}/tests/deps/install_deps_test.sh)
  include(tests/e2e/e2e.cmake OPTIONAL)
  include(tests/release/release.cmake OPTIONAL)
  include(tests/bench/bench.cmake OPTIONAL)
endif()

# The ini reading and current-directory probes of the end-to-end fixtures, built against the
# stand-in: the e2e tests compare their output with the fixtures' under Wine
# (tests/e2e/inicompare.py, tests/e2e/dircompare.py).
foreach(probe inidump dirprobe)
  add_executable(${probe}_host tests/e2e/${probe}_host.cpp)
  target_compile_options(${probe}_host PRIVATE ${HOST_FLAGS} -Wall -Wextra -Werror)
  target_link_libraries(${probe}_host PRIVATE stagerun_host)
endforeach()
