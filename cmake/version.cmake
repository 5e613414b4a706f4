# Writes the version source: `git describe --always --dirty` of the source
# tree, or TARNWICK_VERSION when it is given, or "unknown" outside a git
# checkout. Run at every build (cmake -P); the file is only rewritten when
# the version changed, so nothing rebuilds needlessly.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... [-DTARNWICK_VERSION=...] -P version.cmake
if(NOT TARNWICK_VERSION)
  execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty
                  OUTPUT_VARIABLE TARNWICK_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_status)
  if(NOT git_status EQUAL 0 OR TARNWICK_VERSION STREQUAL "")
    set(TARNWICK_VERSION "unknown")
  endif()
endif()
string(REGEX REPLACE "[^A-Za-z0-9._+-]" "_" TARNWICK_VERSION "${TARNWICK_VERSION}")
set(text "// Written by cmake/version.cmake at build time; do not edit.
// The whole string is kept in tarnwick.efi so that `strings` finds it.
extern \"C\" const char tarnwick_version_string[] = \"tarnwick version ${TARNWICK_VERSION}\";
const char* TarnwickVersion() { return tarnwick_version_string + sizeof(\"tarnwick version\"); }
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
