# The version string of the programs and the package: the project's version, and when built
# from a git checkout "+git<N>.g<HASH>" (N commits since the tag v<VERSION>, or since the
# start when there is none). Included: kadex_version(VAR BASE SOURCE_DIR). Run with
# cmake -DBASE=... -DSOURCE_DIR=... -DOUT=file.cpp -P: writes the version function, touching
# the file only when the text changes (so a commit relinks, an edit does not).
function(kadex_version out base source_dir)
  set(version "${base}")
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS "${source_dir}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${source_dir}" rev-parse --short=7 HEAD
                    OUTPUT_VARIABLE hash RESULT_VARIABLE rc_hash OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${source_dir}" describe --tags --long --match "v${base}"
                    OUTPUT_VARIABLE described RESULT_VARIABLE rc_tag OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(rc_tag EQUAL 0 AND described MATCHES "-([0-9]+)-g[0-9a-f]+$")
      set(count "${CMAKE_MATCH_1}")
    else()
      execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${source_dir}" rev-list --count HEAD
                      OUTPUT_VARIABLE count RESULT_VARIABLE rc_count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(NOT rc_count EQUAL 0)
        set(count "")
      endif()
    endif()
    if(rc_hash EQUAL 0 AND NOT hash STREQUAL "" AND NOT count STREQUAL "" AND NOT count STREQUAL "0")
      set(version "${base}+git${count}.g${hash}")
    endif()
  endif()
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND OUT)
  kadex_version(v "${BASE}" "${SOURCE_DIR}")
  set(text "// Made by cmake/KadexVersion.cmake at build time.\n#include \"common/Version.h\"\n\nconst char* kadex::VersionString()\n{\n    return \"${v}\";\n}\n")
  if(EXISTS "${OUT}")
    file(READ "${OUT}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${OUT}" "${text}")
  endif()
endif()
