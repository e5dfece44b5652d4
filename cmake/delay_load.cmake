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
    find_library(import_library_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    set(def ${dir}/${name}.def)
    set(library ${dir}/lib${name}_delay.a)
    add_custom_command(
      OUTPUT ${library}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPORT_LIBRARY=${import_library_${name}}
              -DDLL=${name}.dll -DSYMBOL_PREFIX=${prefix} -DOUTPUT=${def}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay_load_def.cmake
      # --kill-at: the names looked up in the DLL are the plain ones, also on 32-bit.
      # The library's symbols are named after the output name: a bare one, so
      # that they do not carry the build folder.
      COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${def} --dllname ${name}.dll
              --output-delaylib lib${name}_delay.a
      DEPENDS ${import_library_${name}} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay_load_def.cmake
      WORKING_DIRECTORY ${dir}
      COMMENT "Making the delay-load import library of ${name}.dll"
      VERBATIM)
    add_custom_target(delayload_${name}_library DEPENDS ${library})

    add_library(delayload_${name} INTERFACE)
    target_link_libraries(delayload_${name} INTERFACE ${library})
    add_dependencies(delayload_${name} delayload_${name}_library)
    add_library(delayload::${name} ALIAS delayload_${name})
  endforeach()
endfunction()

# The linker launcher that checks what it links (link_and_check_imports.cmake),
# into <out>. ALLOWED <dll>...: the only DLLs the file may import the ordinary
# way. ARCH x86_64: for a 64-bit file in a 32-bit build.
function(import_checking_launcher out)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ARCH" "ALLOWED")
  delay_load_symbol_prefix(prefix)
  set(objdump ${CMAKE_OBJDUMP})
  set(nm ${CMAKE_NM})
  if(arg_ARCH AND NOT arg_ARCH STREQUAL CMAKE_SYSTEM_PROCESSOR)
    find_program(OBJDUMP_${arg_ARCH} ${arg_ARCH}-w64-mingw32-objdump REQUIRED)
    find_program(NM_${arg_ARCH} ${arg_ARCH}-w64-mingw32-nm REQUIRED)
    set(objdump ${OBJDUMP_${arg_ARCH}})
    set(nm ${NM_${arg_ARCH}})
    set(prefix "")
  endif()
  set(launcher ${CMAKE_COMMAND} -DOBJDUMP=${objdump} -DNM=${nm} -DSYMBOL_PREFIX=${prefix}
    -DDELAY_DEFS_DIR=${CMAKE_BINARY_DIR}/delayload)
  if(arg_ALLOWED)
    # One argument: a list would split the launcher's command line.
    list(JOIN arg_ALLOWED "," allowed)
    list(APPEND launcher -DALLOWED=${allowed})
  endif()
  list(APPEND launcher -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/link_and_check_imports.cmake --)
  set(${out} ${launcher} PARENT_SCOPE)
endfunction()

# Every program and DLL linked from here on is checked as it is linked; call
# before the first target is made.
macro(check_imports_of_every_link)
  import_checking_launcher(CMAKE_C_LINKER_LAUNCHER)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_C_LINKER_LAUNCHER})
endmacro()

# A shipped program also imports nothing outside ORDINARY_IMPORTS the ordinary way.
function(restrict_ordinary_imports target)
  get_property(allowed GLOBAL PROPERTY ORDINARY_IMPORTS)
  import_checking_launcher(launcher ALLOWED ${allowed})
  set_target_properties(${target} PROPERTIES C_LINKER_LAUNCHER "${launcher}"
    CXX_LINKER_LAUNCHER "${launcher}")
endfunction()
