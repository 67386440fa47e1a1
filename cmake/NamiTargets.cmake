# Helpers shared by every CMakeLists of the project.

# Collects the .cpp files of the given folders (new files are picked up at the next build).
function(nami_glob_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Our own code builds free of warnings.
function(nami_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 at -O3 reports impossible overlaps inside std::string's own
  # concatenation (a known false positive of -Wrestrict); keep it a warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-error=restrict)
  endif()
  if(NAMI_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# One static library per folder of src/, added in layer order (bottom first).
# USES names the folders below it that the folder includes and links; only
# folders already added may be named, so no folder can use one above it.
#
# Each library's include root holds nothing but its own folder (a link to
# src/<folder>), and a library sees only its own root and those of the
# libraries it uses, directly or through them. So `#include "ui/X.h"` in a
# folder below ui/ fails to compile: the header is not on its path.
# tests/layers checks this. EXCLUDE names .cpp files of the folder that are
# not part of the library (a program's main).
set(NAMI_LAYERS)
function(nami_layer folder)
  cmake_parse_arguments(ARG "" "" "USES;LINK;EXCLUDE" ${ARGN})
  set(libs)
  foreach(lower IN LISTS ARG_USES)
    if(NOT lower IN_LIST NAMI_LAYERS)
      message(FATAL_ERROR "src/${folder} uses src/${lower}, which is not a layer below it")
    endif()
    list(APPEND libs nami_${lower})
  endforeach()
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  nami_glob_sources(sources src/${folder})
  foreach(name IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/src/${folder}/${name})
  endforeach()
  add_library(nami_${folder} STATIC ${sources})
  target_include_directories(nami_${folder} PUBLIC ${root})
  target_link_libraries(nami_${folder} PUBLIC ${libs} ${ARG_LINK})
  nami_warnings(nami_${folder})
  set(NAMI_LAYERS ${NAMI_LAYERS} ${folder} PARENT_SCOPE)
endfunction()

# Debian's hardening flags, as dpkg-buildflags gives them with every
# hardening feature on: stack protector, format-string checks, fortified libc
# calls, full RELRO and immediate binding (bindnow). They apply to every
# target. The build type keeps choosing optimisation and debug information;
# fortify needs optimisation, so a Debug build goes without it. Sanitized and
# fuzzing builds have checks of their own and go without these.
function(nami_hardening)
  if(NOT NAMI_HARDENING OR NAMI_SANITIZE OR NAMI_FUZZ)
    return()
  endif()
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT DPKG_BUILDFLAGS)
    message(FATAL_ERROR "dpkg-buildflags not found (package dpkg-dev: run scripts/setup), "
                        "or configure with -DNAMI_HARDENING=OFF")
  endif()
  set(flags)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(value UNIX_COMMAND "${value}")
    set(${kind} ${value})
  endforeach()
  set(compile)
  foreach(flag IN LISTS CPPFLAGS CXXFLAGS)
    if(flag MATCHES "^-O|^-g|^-ffile-prefix-map=")
      continue()  # the build type's, and paths of the build machine
    elseif(flag MATCHES "^-D_FORTIFY_SOURCE=")
      # A compiler that defines it itself would see it redefined.
      list(APPEND compile "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>" "$<$<NOT:$<CONFIG:Debug>>:${flag}>")
    else()
      list(APPEND compile ${flag})
    endif()
  endforeach()
  add_compile_options(${compile})
  add_link_options(${LDFLAGS})
  message(STATUS "Hardening: ${compile} ${LDFLAGS}")
endfunction()
