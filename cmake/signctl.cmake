# sign_test(<name> SOURCES <files...> LIBS <libs...>)
# A GoogleTest executable whose cases CTest runs one by one.
function(sign_test name)
  if(NOT SIGN_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endfunction()

# sign_subsystem(<lib> DEPS <libs...>)
# One static library of every .cpp under the calling folder except its tests/,
# and one test executable of every .cpp under tests/ (when there are any).
# Headers are included from the project root: #include "frame/util/crc16.h".
# EXCLUDE names sub-folders that are built otherwise.
function(sign_subsystem lib)
  cmake_parse_arguments(S "" "" "DEPS;TEST_LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/tests/")
  foreach(ex ${S_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "${CMAKE_CURRENT_SOURCE_DIR}/${ex}/")
  endforeach()
  add_library(${lib} STATIC ${srcs})
  target_include_directories(${lib} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${lib} PUBLIC ${S_DEPS} Threads::Threads)
  file(GLOB_RECURSE tsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(tsrcs)
    sign_test(${lib}_tests SOURCES ${tsrcs} LIBS ${lib} ${S_TEST_LIBS})
  endif()
endfunction()
