# sign_fuzz_target(<name> SOURCES <files...> [DEPS <libs...>])
# A fuzz target defining LLVMFuzzerTestOneInput, with its seed corpus in
# <folder>/fuzz/seeds/<name>/. Under clang, <name> is the libFuzzer binary
# (built on request: tools/fuzz.sh builds them all). In every build,
# <name>_replay runs the same function over the seeds with a plain main, and
# the test fuzz_seeds_<name> does so: a target that no longer builds or fails
# on its own seeds is caught without clang.
function(sign_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES;DEPS" ${ARGN})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} EXCLUDE_FROM_ALL ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${F_DEPS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  endif()
  if(SIGN_TESTS)
    add_executable(${name}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/fuzz_replay_main.cc)
    target_include_directories(${name}_replay PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name}_replay PRIVATE ${F_DEPS})
    add_test(NAME fuzz_seeds_${name}
             COMMAND ${name}_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds/${name})
    set_tests_properties(fuzz_seeds_${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()
