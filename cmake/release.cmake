# The programs StageRun ships. stagerun_release_executable(<target> "<file description>") gives a
# cross-built executable the version resource (res/version.rc), the options for reproducible
# bytes, and a line in release-files.txt of the build tree, from which `make dist` copies (and
# signs) the files, `make kit` packs them and the reproducibility test rebuilds them. The target
# `release` builds all of them.

set(STAGERUN_RES_DIR ${CMAKE_CURRENT_LIST_DIR}/../res)
cmake_path(NORMAL_PATH STAGERUN_RES_DIR)
add_custom_target(release)

function(stagerun_release_executable target description)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  file(GENERATE OUTPUT ${rc} CONTENT
"#define STAGERUN_FILE_DESCRIPTION \"${description}\"
#define STAGERUN_ORIGINAL_FILENAME \"$<TARGET_FILE_NAME:${target}>\"
#include \"${STAGERUN_RES_DIR}/version.rc\"
")
  set_source_files_properties(${rc} PROPERTIES GENERATED TRUE)
  target_sources(${target} PRIVATE ${rc})
  # res/version.h gives the program STAGERUN_VERSION.
  target_include_directories(${target} PRIVATE ${STAGERUN_RES_DIR})
  # No build folder in the bytes (__FILE__, debug info) and no link time in the PE header; the
  # resource compiler writes zero time stamps by itself.
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
  target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  add_dependencies(release ${target})
  set_property(GLOBAL APPEND PROPERTY STAGERUN_RELEASE_FILES "$<TARGET_FILE:${target}>")
endfunction()

# Written once the whole tree has been read, so a target declared anywhere is listed.
function(stagerun_write_release_files)
  get_property(files GLOBAL PROPERTY STAGERUN_RELEASE_FILES)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release-files.txt CONTENT "$<JOIN:${files},\n>\n")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL stagerun_write_release_files)
