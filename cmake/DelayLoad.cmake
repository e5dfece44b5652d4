# Delay-loaded system DLLs for the Windows programs.
#
# The programs restrict the DLL search to the system folder first thing in
# WinMain. DLLs imported the ordinary way are loaded before that, through the
# default search, which starts in the program's folder on the media; under
# Wine user32 and setupapi import version.dll, and gdi32, ole32, oleaut32,
# shell32, comctl32 and comdlg32 import user32. Such DLLs are delay-loaded
# instead: the first call loads them, by then from the system folder only.
include_guard(GLOBAL)

# The DLLs a program may import the ordinary way: none of them, nor anything
# they import, loads a DLL a planted copy could stand in for.
set_property(GLOBAL PROPERTY ORDINARY_IMPORTS kernel32.dll advapi32.dll msvcrt.dll)

# C names carry a leading underscore on 32-bit only.
function(delay_load_symbol_prefix out)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(${out} "_" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# Makes delayload::<name> for each DLL name (user32, ...): link to it instead
# of <name>. The import library is made from the toolchain's own, so every
# function it has can be delay-loaded.
function(add_delay_load_libraries)
  delay_load_symbol_prefix(prefix)
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  file(MAKE_DIRECTORY ${dir})
  foreach(name IN LISTS ARGN)
    if(TARGET delayload_${name})
      continue()
    endif()
    find_library(DELAYLOAD_IMPORT_LIBRARY_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    set(def ${dir}/${name}.def)
    set(library ${dir}/lib${name}_delay.a)
    add_custom_command(
      OUTPUT ${library}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPORT_LIBRARY=${DELAYLOAD_IMPORT_LIBRARY_${name}}
              -DDLL=${name}.dll -DSYMBOL_PREFIX=${prefix} -DOUTPUT=${def}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay_load_def.cmake
      # --kill-at: the names looked up in the DLL are the plain ones, also on 32-bit.
      # The library's symbols are named after the output name: a bare one, so
      # that they do not carry the build folder.
      COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${def} --dllname ${name}.dll
              --output-delaylib lib${name}_delay.a
      DEPENDS ${DELAYLOAD_IMPORT_LIBRARY_${name}} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay_load_def.cmake
      WORKING_DIRECTORY ${dir}
      COMMENT "Making the delay-load import library of ${name}.dll"
      VERBATIM)
    add_custom_target(delayload_${name}_library DEPENDS ${library})

    add_library(delayload_${name} INTERFACE)
    target_link_libraries(delayload_${name} INTERFACE ${library})
    # Calls then go through the import library's thunks, not straight through
    # the import pointers: the 32-bit GNU linker drops a thunk nothing calls,
    # and the pointer it started out with becomes 0.
    target_compile_definitions(delayload_${name} INTERFACE DECLSPEC_IMPORT=)
    add_dependencies(delayload_${name} delayload_${name}_library)
    add_library(delayload::${name} ALIAS delayload_${name})
    set_property(GLOBAL APPEND PROPERTY DELAY_LOAD_DEFS ${def})
    set_property(GLOBAL APPEND PROPERTY DELAY_LOAD_TARGETS delayload_${name}_library)
  endforeach()
endfunction()

# Fails the build when <target> imports a DLL outside ORDINARY_IMPORTS the
# ordinary way, or calls a delay-loaded function whose thunk the linker dropped.
# Call it after the delay-load libraries the target uses are made.
function(check_program_imports target)
  get_property(defs GLOBAL PROPERTY DELAY_LOAD_DEFS)
  get_property(allowed GLOBAL PROPERTY ORDINARY_IMPORTS)
  delay_load_symbol_prefix(prefix)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.imports-checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DNM=${CMAKE_NM}
            -DPROGRAM=$<TARGET_FILE:${target}> "-DALLOWED=${allowed}"
            "-DDELAY_DEFS=${defs}" -DSYMBOL_PREFIX=${prefix}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_program_imports.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_program_imports.cmake
    COMMENT "Checking the imports of ${target}"
    VERBATIM)
  add_custom_target(${target}_imports ALL DEPENDS ${stamp})
  # The check reads every .def made so far, also those of DLLs the target does not use.
  get_property(def_targets GLOBAL PROPERTY DELAY_LOAD_TARGETS)
  add_dependencies(${target}_imports ${def_targets})
endfunction()
