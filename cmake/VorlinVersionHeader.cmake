# Writes vorlin_version.h (see VorlinVersion.cmake) from VERSION and the commit of the source tree.
# Run as a script: cmake -DVORLIN_SOURCE_DIR=... -DVORLIN_VERSION_HEADER=... -P this file.
# The file is left untouched when its text would not change.
cmake_minimum_required(VERSION 3.25)

file(STRINGS ${VORLIN_SOURCE_DIR}/VERSION version_line LIMIT_COUNT 1)
string(STRIP "${version_line}" version_line)
if(NOT version_line MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION holds \"${version_line}\", not MAJOR.MINOR.PATCH")
endif()
set(major ${CMAKE_MATCH_1})
set(minor ${CMAKE_MATCH_2})
set(patch ${CMAKE_MATCH_3})
foreach(n major minor patch)
  if(${n} GREATER 65535)
    message(FATAL_ERROR "VERSION ${version_line}: each number of VERSIONINFO is at most 65535")
  endif()
endforeach()

# Runs git in the source tree; OUT is its output, or empty when git failed. No optional locks:
# other git commands in the same tree (a commit in another shell) must never find the index locked
# by a build.
function(run_git out)
  execute_process(COMMAND ${git} --no-optional-locks -C ${VORLIN_SOURCE_DIR} ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(commit "")
set(count 0)
set(build "unknown")
find_program(git NAMES git)
if(git)
  # Only the source tree's own repository counts: a source tarball unpacked inside some other
  # repository has no commit of its own.
  run_git(top rev-parse --show-toplevel)
  file(REAL_PATH "${VORLIN_SOURCE_DIR}" source_real)
  if(top)
    file(REAL_PATH "${top}" top)
  endif()
  if(top STREQUAL source_real)
    run_git(commit rev-parse --verify HEAD)
  endif()
endif()
if(commit MATCHES "^[0-9a-f]+$")
  run_git(count rev-list --count HEAD)
  if(NOT count MATCHES "^[0-9]+$")
    set(count 0)
  elseif(count GREATER 65535)
    set(count 65535)  # the fourth number of VERSIONINFO is 16 bits; the commit name stays exact
  endif()
  string(SUBSTRING "${commit}" 0 12 short)
  set(build "g${short}")
  # Dirty: a tracked file differs from HEAD (untracked files are not part of any build input
  # that a checkout would reproduce, and the build tree itself is ignored).
  execute_process(COMMAND ${git} --no-optional-locks -C ${VORLIN_SOURCE_DIR}
      status --porcelain --untracked-files=no
    RESULT_VARIABLE result OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT result EQUAL 0 OR NOT changes STREQUAL "")
    string(APPEND build "-dirty")
  endif()
else()
  set(commit "")
endif()

set(text "// Generated from VERSION and the commit by cmake/VorlinVersionHeader.cmake; do not edit.
#ifndef VORLIN_VERSION_H
#define VORLIN_VERSION_H
#define VORLIN_VERSION_MAJOR ${major}
#define VORLIN_VERSION_MINOR ${minor}
#define VORLIN_VERSION_PATCH ${patch}
#define VORLIN_VERSION_COUNT ${count}
#define VORLIN_VERSION_TEXT \"${major}.${minor}.${patch}+${build}\"
#define VORLIN_FILE_VERSION_TEXT \"${major}.${minor}.${patch}.${count}\"
#define VORLIN_VERSION_COMMIT \"${commit}\"
#endif
")

set(old "")
if(EXISTS ${VORLIN_VERSION_HEADER})
  file(READ ${VORLIN_VERSION_HEADER} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${VORLIN_VERSION_HEADER}.tmp "${text}")
  file(RENAME ${VORLIN_VERSION_HEADER}.tmp ${VORLIN_VERSION_HEADER})
endif()
