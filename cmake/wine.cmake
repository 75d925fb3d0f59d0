# How Wine runs this build's Windows programs: the machine's own Wine, or, for
# 32-bit Windows where the machine's Wine runs 64-bit programs only, a Wine
# inside an i386 Debian root that the build makes in its own tree and enters
# through bubblewrap, with the source and build trees and /tmp bound at their
# own paths, so that a path means the same inside and out.
#
# QUELLOT_WINE is "machine" or "root"; by default the machine's Wine where it
# can run the target's programs.
set(QUELLOT_WINE "" CACHE STRING "Wine that runs the tests: machine (this machine's) or root (in an i386 Debian root of the build tree)")

# 32-bit Wine runs only where the kernel runs i386 programs. Where it runs
# none, the programs are still built and their tables read back, and the
# tests that would run them are one skipped test that says why
# (QUELLOT_WINE_UNAVAILABLE).
set(QUELLOT_WINE_UNAVAILABLE "")
if(QUELLOT_X86_32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/runs_i386.py
    RESULT_VARIABLE runs_i386 OUTPUT_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT runs_i386 EQUAL 0)
    set(QUELLOT_WINE_UNAVAILABLE "32-bit Wine cannot run here: ${why}")
    message(WARNING "${QUELLOT_WINE_UNAVAILABLE}: the tests that run this build's programs are skipped")
    add_test(NAME wine.Unavailable
      COMMAND ${Python3_EXECUTABLE} -c "import sys; print('skipped: ' + sys.argv[1]); sys.exit(77)"
        "${QUELLOT_WINE_UNAVAILABLE}")
    set_tests_properties(wine.Unavailable PROPERTIES SKIP_RETURN_CODE 77)
    set(QUELLOT_TEST_PROPERTIES)
    return()
  endif()
endif()

# Debian's wine32 package puts the 32-bit loader here; wine64 has only wine64.
if(NOT QUELLOT_X86_32 OR EXISTS /usr/lib/wine/wine OR EXISTS /usr/lib/i386-linux-gnu/wine)
  set(wine_default machine)
else()
  set(wine_default root)
endif()
if(QUELLOT_WINE STREQUAL "")
  set(QUELLOT_WINE ${wine_default})
endif()

set(QUELLOT_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(QUELLOT_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(scripts wine-run wine-server wine-setup)
if(QUELLOT_WINE STREQUAL "machine")
  find_program(wine_program wine)
  if(NOT wine_program)
    message(FATAL_ERROR "Wine is not installed (tools/install-deps.sh installs it)")
  endif()
  # Wine's programs are found on PATH, and run as they are.
  set(QUELLOT_WINE_IN env)
  set(root_stamp)
elseif(QUELLOT_WINE STREQUAL "root")
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT uid STREQUAL "0")
    message(FATAL_ERROR "32-bit Wine cannot be had: this machine's Wine runs no 32-bit program "
                        "(Debian's wine32 is not installed), and making an i386 Debian root "
                        "for one needs root")
  endif()
  set(QUELLOT_WINE_ROOT ${CMAKE_BINARY_DIR}/i386-root)
  set(QUELLOT_WINE_IN ${CMAKE_BINARY_DIR}/wine-root-run)
  list(APPEND scripts wine-root-run)
  set(root_stamp ${QUELLOT_WINE_ROOT}/.quellot-root)
  add_custom_command(
    OUTPUT ${root_stamp}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/debian-root.sh i386 ${QUELLOT_WINE_ROOT} wine wine32
    COMMENT "Making an i386 Debian root with Wine, once (its log: i386-root.log)")
else()
  message(FATAL_ERROR "QUELLOT_WINE is '${QUELLOT_WINE}': it must be machine or root")
endif()

foreach(script ${scripts})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${script}.in ${CMAKE_BINARY_DIR}/${script}
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE
                 @ONLY)
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUELLOT_WINE_RUN})

# The prefix is this build tree's own, made once, at build time, before any
# test (or test discovery) needs it.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/wine-prefix.stamp
  COMMAND ${CMAKE_BINARY_DIR}/wine-setup
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/wine-prefix.stamp
  DEPENDS ${root_stamp}
  COMMENT "Creating the Wine prefix (Wine's own messages: wine-prefix.log)")
add_custom_target(wine_prefix ALL DEPENDS ${CMAKE_BINARY_DIR}/wine-prefix.stamp)

# One wineserver serves the whole test run, instead of one starting and
# stopping around every test.
add_test(NAME wine.server.start COMMAND ${CMAKE_BINARY_DIR}/wine-server start)
add_test(NAME wine.server.stop COMMAND ${CMAKE_BINARY_DIR}/wine-server stop)
set_tests_properties(wine.server.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.server.stop PROPERTIES FIXTURES_CLEANUP wine)
set(QUELLOT_TEST_PROPERTIES FIXTURES_REQUIRED wine)
