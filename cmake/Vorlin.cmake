# Helpers shared by the module folders.

# vorlin_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# One GoogleTest executable, registered test by test with CTest. Under the Windows build the
# executable runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR; GUI tests (message boxes,
# clipboard, windows found by caption) never run in parallel with each other.
function(vorlin_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
  target_compile_definitions(${name} PRIVATE
    VORLIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VORLIN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(props TIMEOUT 120)
  if(WIN32)
    # Every Windows test shares the one Wine prefix, its clipboard and its registry.
    list(APPEND props RESOURCE_LOCK wineprefix)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "${name}."
    PROPERTIES ${props})
endfunction()

# vorlin_fuzz_target(NAME CORPUS sources... [HELPERS sources...]): a libFuzzer target (native
# clang only) whose sources are all compiled with the sanitizers, registered with CTest as a
# bounded run (label "fuzz") over the committed seeds in fuzz/corpus/CORPUS. New inputs go to a
# folder in the build tree. HELPERS (reference implementations, encoders the target checks
# against) keep AddressSanitizer and UBSan but get no coverage instrumentation: their branches do
# not guide the search, and instrumented they can take most of each input's time. Inputs that
# run long get less of the search's time (-entropic_scale_per_exec_time), so that a few large
# pictures or files do not set the pace.
# scripts/fuzz-long runs every target for longer.
function(vorlin_fuzz_target name corpus)
  cmake_parse_arguments(F "" "" "HELPERS" ${ARGN})
  set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -g)
  set(flags -fsanitize=fuzzer ${sanitizers} -O1)
  add_executable(${name} ${F_UNPARSED_ARGUMENTS})
  target_compile_options(${name} PRIVATE ${flags})
  target_link_options(${name} PRIVATE ${flags})
  if(F_HELPERS)
    add_library(${name}_helpers OBJECT ${F_HELPERS})
    target_compile_options(${name}_helpers PRIVATE ${sanitizers} -O2)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:${name}_helpers>)
  endif()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus_${name})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=20 -timeout=10 -rss_limit_mb=2048 -max_len=65536
            -entropic_scale_per_exec_time=1 ${work} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endfunction()

# Adds every child folder of the current source folder that has a CMakeLists.txt, in name order
# (tests/, tools/, fuzz/, bench/: one group of targets per child).
function(vorlin_add_child_folders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
