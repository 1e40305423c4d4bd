# One end-to-end run of the player, as a CTest script:
#   cmake -DPLAYER=<exe> -DPACKER=<pack_archive> -DGAMES=<games folder> -DWORK=<scratch folder>
#         [-DGAME=<game folder copied into WORK, under GAMES or absolute>]
#         [-DPACK=<game folder packed into WORK/ARCHIVE>] [-DNEEDS_DISPLAY=ON]
#         [-DARCHIVE=<archive name>] [-DARGS=<arguments separated by '|'>]
#         -DEXPECT_CODE=<exit code> -DEXPECT_ERROR=<first "[!] " line without its line end, or NONE>
#         [-DEXPECT_LINE=<lines that must be printed, separated by '|'>] [-DEXPECT_BLOCK=<file under GAMES/expected>]
#         [-DREJECT_TEXT=<text that must not be printed>]
#         -P run_player.cmake
# The player runs in WORK, which is emptied first. A case that needs a display is skipped
# without one.

if(NEEDS_DISPLAY AND "$ENV{DISPLAY}" STREQUAL "")
  message(STATUS "no display to open a window on")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
if(GAME AND IS_ABSOLUTE "${GAME}")
  file(COPY "${GAME}/" DESTINATION "${WORK}")
elseif(GAME)
  file(COPY "${GAMES}/${GAME}/" DESTINATION "${WORK}")
endif()
if(PACK)
  execute_process(COMMAND "${PACKER}" "${WORK}/${ARCHIVE}" "${GAMES}/${PACK}" RESULT_VARIABLE packed)
  if(NOT packed EQUAL 0)
    message(FATAL_ERROR "could not pack ${PACK} into ${ARCHIVE}")
  endif()
endif()

set(arguments "")
if(DEFINED ARGS AND NOT ARGS STREQUAL "")
  string(REPLACE "|" ";" arguments "${ARGS}")
endif()
execute_process(COMMAND "${PLAYER}" ${arguments}
                WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE code
                OUTPUT_VARIABLE output
                ERROR_VARIABLE errors)

set(failures "")
if(NOT code STREQUAL "${EXPECT_CODE}")
  string(APPEND failures "exit code ${code}, expected ${EXPECT_CODE}\n")
endif()

# The first error line.
set(first "NONE")
string(REGEX MATCH "(^|\n)\\[!\\] [^\n]*" match "${output}")
if(match)
  string(REGEX REPLACE "^\n" "" first "${match}")
endif()
if(NOT first STREQUAL "${EXPECT_ERROR}")
  string(APPEND failures "first error line '${first}', expected '${EXPECT_ERROR}'\n")
endif()

if(DEFINED EXPECT_LINE)
  string(REPLACE "|" ";" lines "${EXPECT_LINE}")
  foreach(line IN LISTS lines)
    string(FIND "\n${output}" "\n${line}\n" at)
    if(at EQUAL -1)
      string(APPEND failures "missing line '${line}'\n")
    endif()
  endforeach()
endif()

if(DEFINED EXPECT_BLOCK)
  file(READ "${GAMES}/expected/${EXPECT_BLOCK}" block)
  string(FIND "${output}" "${block}" at)
  if(at EQUAL -1)
    string(APPEND failures "missing the text of expected/${EXPECT_BLOCK}\n")
  endif()
endif()

if(DEFINED REJECT_TEXT)
  string(FIND "${output}" "${REJECT_TEXT}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "printed '${REJECT_TEXT}'\n")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "player ${ARGS}\n${failures}--- output ---\n${output}${errors}")
endif()
