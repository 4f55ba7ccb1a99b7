# The programs' version: MAJOR.MINOR.PATCH from the VERSION file (changed by hand for a release)
# and the commit the build comes from, in one generated header, vorlin_version.h:
#
#   VORLIN_VERSION_MAJOR, _MINOR, _PATCH   the three numbers of VERSION
#   VORLIN_VERSION_COUNT                   commits up to HEAD (git rev-list --count), 0 without git
#   VORLIN_VERSION_TEXT                    "1.0.0+g0123456789ab", "+g...-dirty" when tracked files
#                                          differ from HEAD, "1.0.0+unknown" without git
#   VORLIN_FILE_VERSION_TEXT               "1.0.0.42": the four numbers of VERSIONINFO
#   VORLIN_VERSION_COMMIT                  the full commit name ("" without git)
#
# The header is written when the build tree is configured and checked again by every build (the
# dirty state has no file to depend on); it is rewritten only when its text changes, so a commit,
# an edit of VERSION or a tree becoming dirty or clean recompiles only what prints the version.
#
# vorlin_program_version(TARGET DESCRIPTION) gives a program the header and, in the Windows build,
# a VERSIONINFO resource made from res/version.rc.in.

set(VORLIN_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
set(VORLIN_VERSION_HEADER ${VORLIN_VERSION_DIR}/vorlin_version.h)
set(_vorlin_version_args
  -DVORLIN_SOURCE_DIR=${CMAKE_SOURCE_DIR} -DVORLIN_VERSION_HEADER=${VORLIN_VERSION_HEADER}
  -P ${CMAKE_CURRENT_LIST_DIR}/VorlinVersionHeader.cmake)

execute_process(COMMAND ${CMAKE_COMMAND} ${_vorlin_version_args} RESULT_VARIABLE _vorlin_version_result)
if(NOT _vorlin_version_result EQUAL 0)
  message(FATAL_ERROR "cannot write ${VORLIN_VERSION_HEADER}")
endif()

add_custom_target(vorlin_version_header
  COMMAND ${CMAKE_COMMAND} ${_vorlin_version_args}
  BYPRODUCTS ${VORLIN_VERSION_HEADER}
  COMMENT "Version text from VERSION and the commit"
  VERBATIM)

add_library(vorlin_version INTERFACE)
target_include_directories(vorlin_version INTERFACE ${VORLIN_VERSION_DIR})
add_dependencies(vorlin_version vorlin_version_header)

# Configures res/version.rc.in for one program into OUTPUT (its VERSIONINFO resource).
function(vorlin_version_resource output name description)
  set(VORLIN_PROGRAM_NAME ${name})
  set(VORLIN_PROGRAM_DESCRIPTION ${description})
  configure_file(${CMAKE_SOURCE_DIR}/res/version.rc.in ${output} @ONLY)
  set_source_files_properties(${output} PROPERTIES OBJECT_DEPENDS ${VORLIN_VERSION_HEADER})
endfunction()

# A program that prints its version (--version) and, for Windows, carries VERSIONINFO.
function(vorlin_program_version target description)
  target_link_libraries(${target} PRIVATE vorlin_version)
  if(WIN32)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    vorlin_version_resource(${rc} ${target} "${description}")
    target_sources(${target} PRIVATE ${rc})
  endif()
endfunction()
