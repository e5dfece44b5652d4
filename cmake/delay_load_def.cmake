# Writes a module-definition file naming every function an import library
# imports from its DLL, as input for a delay-load import library.
#   cmake -DNM=<nm> -DIMPORT_LIBRARY=<libx.a> -DDLL=<x.dll> -DSYMBOL_PREFIX=<_ or nothing>
#         -DOUTPUT=<x.def> -P delay_load_def.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} --defined-only ${IMPORT_LIBRARY}
  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)

# A function has a code thunk (T) beside its import pointer; data has none.
string(REGEX MATCHALL " T ${SYMBOL_PREFIX}[^\n]+" thunks "${symbols}")
list(TRANSFORM thunks REPLACE "^ T ${SYMBOL_PREFIX}" "")
list(REMOVE_DUPLICATES thunks)
list(SORT thunks)
if(NOT thunks)
  message(FATAL_ERROR "${IMPORT_LIBRARY} has no functions")
endif()

list(JOIN thunks "\n  " exports)
file(WRITE ${OUTPUT} "LIBRARY \"${DLL}\"\nEXPORTS\n  ${exports}\n")
