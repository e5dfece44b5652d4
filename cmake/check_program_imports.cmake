# Checks a linked program against its DLL-loading rule: only the allowed DLLs
# are imported the ordinary way, and no delay-loaded function lost its thunk
# (the 32-bit GNU linker drops it when code calls through the import pointer,
# and the call then jumps to address 0).
#   cmake -DOBJDUMP=<objdump> -DNM=<nm> -DPROGRAM=<x.exe> -DALLOWED=<a.dll;...>
#         -DDELAY_DEFS=<x.def;...> -DSYMBOL_PREFIX=<_ or nothing> -P check_program_imports.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\n]+" imported "${headers}")
list(TRANSFORM imported REPLACE "^DLL Name: " "")
list(TRANSFORM imported TOLOWER)
list(TRANSFORM ALLOWED TOLOWER)
list(REMOVE_ITEM imported ${ALLOWED})
if(imported)
  list(REMOVE_DUPLICATES imported)
  list(JOIN imported ", " names)
  message(FATAL_ERROR "${PROGRAM} imports ${names} at start; link to delayload::<name> instead")
endif()

# Dropped thunks are left as absolute symbols at 0.
execute_process(COMMAND ${NM} ${PROGRAM} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[0]+ A ${SYMBOL_PREFIX}[^\n]+" dropped "${symbols}")
list(TRANSFORM dropped REPLACE "^[0]+ A ${SYMBOL_PREFIX}" "")
foreach(def IN LISTS DELAY_DEFS)
  file(STRINGS ${def} exports REGEX "^  ")
  list(TRANSFORM exports STRIP)
  foreach(name IN LISTS dropped)
    if(name IN_LIST exports)
      message(FATAL_ERROR "${PROGRAM}: ${name} (${def}) is called through its import pointer, so "
                          "the call would jump to 0; the calling code must link to its delayload:: library")
    endif()
  endforeach()
endforeach()
