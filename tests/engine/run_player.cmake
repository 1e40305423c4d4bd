# One end-to-end run of the player, as a CTest script:
#   cmake -DPLAYER=<exe> -DPACKER=<pack_archive> -DGAMES=<games folder> -DWORK=<scratch folder>
#         [-DGAME=<game folder copied into WORK, under GAMES or absolute>]
#         [-DPACK=<game folder packed into WORK/ARCHIVE>] [-DNEEDS_DISPLAY=ON]
#         [-DARCHIVE=<archive name>] [-DARGS=<arguments separated by '|'>]
#         -DEXPECT_CODE=<exit code> -DEXPECT_ERROR=<first "[!] " line without its line end, or NONE>
#         [-DEXPECT_LINE=<lines that must be printed, separated by '|'>] [-DEXPECT_BLOCK=<file under GAMES/expected>]
#         [-DREJECT_TEXT=<text that must not be printed>] [-DEXPECT_WAV=<WAV file the run leaves in WORK>]
#         [-DEXPECT_LOUD=<least peak> -DWAV_PEAK=<the wav_peak tool>]
#         [-DEXPECT_TGA=<TGA file the run leaves in WORK> -DEXPECT_PIXELS=<x,y,BBGGRRAA separated by '|'>]
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

# A finished capture: RIFF/WAVE, PCM 16-bit stereo at 48000 Hz, both sizes written and matching
# the file, and some sound data.
function(read_u32 hex at out)
  string(SUBSTRING "${hex}" ${at} 8 le)
  set(be "")
  foreach(i 6 4 2 0)
    string(SUBSTRING "${le}" ${i} 2 byte)
    string(APPEND be "${byte}")
  endforeach()
  math(EXPR value "0x${be}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()
if(DEFINED EXPECT_WAV)
  if(NOT EXISTS "${WORK}/${EXPECT_WAV}")
    string(APPEND failures "no file ${EXPECT_WAV}\n")
  else()
    file(SIZE "${WORK}/${EXPECT_WAV}" size)
    file(READ "${WORK}/${EXPECT_WAV}" header LIMIT 44 HEX)
    string(SUBSTRING "${header}" 0 24 tags)
    string(SUBSTRING "${header}" 40 40 format)
    read_u32("${header}" 8 riff)
    read_u32("${header}" 80 data)
    math(EXPR riff_expected "${size} - 8")
    math(EXPR data_expected "${size} - 44")
    # "RIFF" size "WAVEfmt ", then 16, PCM, 2 channels, 48000, 192000, 4, 16 bits, "data".
    if(NOT tags MATCHES "^52494646........57415645$" OR
       NOT format STREQUAL "0100020080bb000000ee02000400100064617461" OR
       NOT riff EQUAL riff_expected OR NOT data EQUAL data_expected OR data EQUAL 0)
      string(APPEND failures "${EXPECT_WAV} is not a finished capture (${size} bytes: ${header})\n")
    endif()
  endif()
endif()

# Sound in the capture: some sample at least this loud.
if(DEFINED EXPECT_LOUD AND EXISTS "${WORK}/${EXPECT_WAV}")
  execute_process(COMMAND "${WAV_PEAK}" "${WORK}/${EXPECT_WAV}" ${EXPECT_LOUD}
                  RESULT_VARIABLE loud OUTPUT_VARIABLE peak ERROR_VARIABLE peak)
  if(NOT loud EQUAL 0)
    string(APPEND failures "${EXPECT_WAV} is quieter than ${EXPECT_LOUD}: ${peak}")
  endif()
endif()

# An uncompressed true-colour TGA of 32 bits, rows top down, of exactly its pixels; the listed
# pixels hold their bytes.
if(DEFINED EXPECT_TGA)
  if(NOT EXISTS "${WORK}/${EXPECT_TGA}")
    string(APPEND failures "no file ${EXPECT_TGA}\n")
  else()
    file(SIZE "${WORK}/${EXPECT_TGA}" size)
    file(READ "${WORK}/${EXPECT_TGA}" header LIMIT 18 HEX)
    string(SUBSTRING "${header}" 24 4 widthHex)
    string(SUBSTRING "${header}" 28 4 heightHex)
    string(SUBSTRING "${header}" 32 4 depth)
    string(SUBSTRING "${header}" 0 6 kind)
    math(EXPR width "0x${widthHex} % 256 * 256 + 0x${widthHex} / 256" OUTPUT_FORMAT DECIMAL)
    math(EXPR height "0x${heightHex} % 256 * 256 + 0x${heightHex} / 256" OUTPUT_FORMAT DECIMAL)
    math(EXPR expected "18 + ${width} * ${height} * 4")
    if(NOT kind STREQUAL "000002" OR NOT depth STREQUAL "2028" OR NOT size EQUAL expected)
      string(APPEND failures "${EXPECT_TGA} is not a 32-bit top-down TGA of ${width}x${height} (${size} bytes: ${header})\n")
    else()
      string(REPLACE "|" ";" pixels "${EXPECT_PIXELS}")
      foreach(pixel IN LISTS pixels)
        string(REPLACE "," ";" fields "${pixel}")
        list(GET fields 0 x)
        list(GET fields 1 y)
        list(GET fields 2 bytes)
        math(EXPR at "18 + (${y} * ${width} + ${x}) * 4")
        file(READ "${WORK}/${EXPECT_TGA}" found OFFSET ${at} LIMIT 4 HEX)
        if(NOT found STREQUAL bytes)
          string(APPEND failures "${EXPECT_TGA} at ${x},${y} holds ${found}, expected ${bytes}\n")
        endif()
      endforeach()
    endif()
  endif()
endif()

if(failures)
  message(FATAL_ERROR "player ${ARGS}\n${failures}--- output ---\n${output}${errors}")
endif()
