# The linker launcher of every Windows program and DLL the build links: runs
# the link, then checks the linked file's imports, and deletes the file when a
# check fails, so that nothing unchecked is left to be run, tested or shipped.
#
# - No function lost its delay-load thunk. A delay-load import pointer starts
#   out at its function's thunk; the 32-bit GNU linker drops a thunk nothing
#   calls, so a call made straight through the pointer jumps to 0. A dropped
#   thunk is harmless only for a function the loader fills in itself, one of
#   the file's ordinary imports.
# - With ALLOWED, no DLL outside it is imported the ordinary way (delay_load.cmake).
#
#   cmake -DOBJDUMP=<objdump> -DNM=<nm> -DSYMBOL_PREFIX=<_ or nothing>
#         -DDELAY_DEFS_DIR=<folder of the delay-load .def files> [-DALLOWED=<a.dll,...>]
#         -P link_and_check_imports.cmake -- <linker> <arguments, among them -o <file>>
cmake_minimum_required(VERSION 3.25)

set(link_command)
set(file)
set(in_command OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  set(argument "${CMAKE_ARGV${i}}")
  if(in_command)
    list(APPEND link_command "${argument}")
    if(previous STREQUAL "-o")
      set(file "${argument}")
    endif()
    set(previous "${argument}")
  elseif(argument STREQUAL "--")
    set(in_command ON)
  endif()
endforeach()
if(NOT link_command OR NOT file)
  message(FATAL_ERROR "usage: cmake -D... -P link_and_check_imports.cmake -- <link command with -o <file>>")
endif()

execute_process(COMMAND ${link_command} RESULT_VARIABLE linked)
if(NOT linked EQUAL 0)
  message(FATAL_ERROR "Linking ${file} failed")
endif()

function(reject)
  string(CONCAT why ${ARGN})
  file(REMOVE "${file}")
  message(FATAL_ERROR "${file}: ${why}; the file was deleted")
endfunction()

# Each DLL's name, then its imported names as "\t<address>\t <hint>  <name>" lines.
execute_process(COMMAND ${OBJDUMP} -p "${file}" OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${headers}")
list(TRANSFORM dlls REPLACE "^DLL Name: " "")
list(TRANSFORM dlls TOLOWER)
string(REGEX MATCHALL "\n\t[0-9a-f]+\t *[0-9]+ +[^\n]+" imported "${headers}")
list(TRANSFORM imported REPLACE "^\n\t[0-9a-f]+\t *[0-9]+ +" "")

if(DEFINED ALLOWED)
  string(TOLOWER "${ALLOWED}" ALLOWED)
  string(REPLACE "," ";" ALLOWED "${ALLOWED}")
  list(REMOVE_ITEM dlls ${ALLOWED})
  if(dlls)
    list(REMOVE_DUPLICATES dlls)
    list(JOIN dlls ", " names)
    reject("imports ${names} at start; link to delayload::<name> instead")
  endif()
endif()

# Dropped thunks are left as absolute symbols at 0, named as the .def files
# name them (with the @<bytes> of 32-bit stdcall); imports carry plain names.
execute_process(COMMAND ${NM} "${file}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\n[0]+ A ${SYMBOL_PREFIX}[^\n]+" dropped "\n${symbols}")
list(TRANSFORM dropped REPLACE "^\n[0]+ A ${SYMBOL_PREFIX}" "")
file(GLOB defs "${DELAY_DEFS_DIR}/*.def")
set(lost)
foreach(def IN LISTS defs)
  file(STRINGS ${def} delay_loaded REGEX "^  ")
  list(TRANSFORM delay_loaded STRIP)
  foreach(name IN LISTS dropped)
    string(REGEX REPLACE "@[0-9]+$" "" plain "${name}")
    if(name IN_LIST delay_loaded AND NOT plain IN_LIST imported)
      get_filename_component(dll ${def} NAME_WE)
      list(APPEND lost "${plain} (${dll})")
    endif()
  endforeach()
endforeach()
if(lost)
  list(JOIN lost ", " names)
  reject("calls ${names} through delay-load import pointers whose thunks the linker dropped, "
         "so the calls would jump to 0; compile every caller with DECLSPEC_IMPORT empty")
endif()
