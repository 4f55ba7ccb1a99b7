# VORLIN_REPRODUCIBLE (set by scripts/release): programs whose bytes depend only on the sources
# and the tools, not on where, when or by whom they were built.
#  - No path of the build machine: the source and build folders are mapped to relative names in
#    everything the compilers write (__FILE__, debug and symbol file names), and the programs are
#    linked stripped, so no symbol table or debug information remains to carry any other.
#  - No clock: PE headers get no link time stamp (TimeDateStamp 0; the PE checksum is a sum of the
#    file's own bytes, and windres writes 0 as the resource directory's time), and static
#    libraries are written in ar's deterministic mode (zero times, owners and modes).
#    Compilers that expand __DATE__ or __TIME__ take SOURCE_DATE_EPOCH, which scripts/release sets
#    to the commit's time.
option(VORLIN_REPRODUCIBLE "Build programs that are byte-identical wherever they are built" OFF)

if(VORLIN_REPRODUCIBLE)
  # A build folder inside the source folder gets a relative name whichever of the two maps applies.
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
  add_link_options(-s)
  if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
  foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
endif()
