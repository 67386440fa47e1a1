# The layering holds: a file of a folder's library compiles with that
# library's include path, which reaches its own folder and the folders below
# it only. Each case compiles a one-line file, as the library named would,
# that includes one header; a header above the library must be missing.
#
# Run by ctest with CXX (the compiler), WORK (a scratch folder), SOURCE_DIR
# and PATHS_<folder> (the library's include path) for every library built.

set(cases
  # library   header                  expected
  "ax25       time/Clock.h            compiles"
  "ax25       link/LinkPort.h         missing"
  "text       settings/Settings.h     missing"
  "link       terminal/NamiDoc.h      missing"
  "terminal   autopilot/Autopilot.h   missing"
  "terminal   transfer/Transfers.h    missing"
  "terminal   document/DocumentFile.h missing"
  "autopilot  transfer/Transfers.h    missing"
  "sim        station/Station.h       missing"
  "mailbox    autopilot/Autopilot.h   missing"
  "station    autopilot/Autopilot.h   compiles"
  "station    ui/MainFrame.h          missing"
  "automation ui/QtText.h             missing"
  "ui         app/Program.h           missing")

file(MAKE_DIRECTORY ${WORK})
set(failures)
set(checked 0)
set(index 0)
foreach(case IN LISTS cases)
  string(REGEX REPLACE " +" ";" case "${case}")
  list(GET case 0 layer)
  list(GET case 1 header)
  list(GET case 2 expected)
  math(EXPR index "${index} + 1")
  if(NOT DEFINED PATHS_${layer})
    continue()  # the library is not built in this configuration (no UI)
  endif()
  set(flags)
  foreach(dir IN LISTS PATHS_${layer})
    list(APPEND flags -I${dir})
  endforeach()
  set(probe ${WORK}/probe${index}.cpp)
  file(WRITE ${probe} "#include \"${header}\"\n")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} ${probe}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REPLACE "." "\\." pattern "${header}")
  if(expected STREQUAL "compiles" AND NOT rc EQUAL 0)
    list(APPEND failures "src/${layer} cannot include ${header}, which is below it:\n${out}")
  elseif(expected STREQUAL "missing" AND rc EQUAL 0)
    list(APPEND failures "src/${layer} can include ${header}, which is above it")
  elseif(expected STREQUAL "missing" AND NOT out MATCHES "${pattern}: No such file|'${pattern}' file not found")
    list(APPEND failures "src/${layer} including ${header} failed for another reason than the missing header:\n${out}")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()

# A path climbing out of the folder ("../ui/X.h") would get round the include path.
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
foreach(source IN LISTS sources)
  file(STRINGS ${source} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
  if(climbing)
    list(APPEND failures "${source} includes through a parent folder: ${climbing}")
  endif()
endforeach()

if(checked LESS 9)
  list(APPEND failures "only ${checked} cases ran: the include paths were not passed")
endif()
if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "${checked} layer cases hold")
