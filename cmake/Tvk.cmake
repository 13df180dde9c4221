# Project-wide compiler settings and the helpers every folder uses.

add_compile_options(-Wall -Wextra)
if(TVK_WERROR)
  add_compile_options(-Werror)
endif()
if(TVK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # g++ 12 reports false maybe-uninitialized warnings inside the standard library under ASan.
  add_compile_options(-Wno-maybe-uninitialized)
endif()
if(TVK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TVK_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # Libraries get coverage instrumentation; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every source includes project headers by their path from the top: #include "runtime/Log.h".
include_directories(${PROJECT_SOURCE_DIR})

set(TVK_SHARED_DIR "${PROJECT_SOURCE_DIR}/../shared" CACHE PATH "The shared folder beside the checkout (corpus)")

# tvk_test(NAME SOURCES... LIBS... [LABELS...] [TIMEOUT seconds])
# A GoogleTest executable whose cases CTest runs one by one. Labels: unit (default), integration
# (starts servers), corpus (reads ../shared/corpus), slow. Tests find the source, build and shared
# folders through tests/support (compiled in; TVK_SOURCE_DIR etc. in the environment override them).
function(tvk_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tvk_testsupport GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# tvk_fuzzer(NAME SOURCES... LIBS... [SEEDS dir])
# A libFuzzer target, built only with -DTVK_FUZZ=ON. CTest runs it for a short smoke run (label fuzz);
# longer runs are done by hand: build/fuzz/<folder>/NAME -max_total_time=600 SEEDDIR.
add_custom_target(tvk_fuzzers)
function(tvk_fuzzer name)
  if(NOT TVK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  add_dependencies(tvk_fuzzers ${name})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            $<TARGET_FILE:${name}> -max_total_time=20 -rss_limit_mb=2048 ${corpus} ${F_SEEDS})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 120
    FIXTURES_REQUIRED ${name}-corpus)
  add_test(NAME ${name}-corpus COMMAND ${CMAKE_COMMAND} -E make_directory ${corpus})
  set_tests_properties(${name}-corpus PROPERTIES LABELS fuzz FIXTURES_SETUP ${name}-corpus)
endfunction()
