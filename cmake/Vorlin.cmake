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
