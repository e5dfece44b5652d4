# The programs as they go on the media: unused code dropped at link time, a
# stripped copy with its debug information in a file of its own beside it, and
# a size limit the build checks.
#
# The stripped copy and its debug file lie in <build>/programs/: X.exe, and
# X.exe.debug, which X.exe names in its .gnu_debuglink section so that a
# debugger finds it there. The release presets build the `programs` target only.
#
# The same sources give the same bytes, in any folder and at any time, so that
# anyone can rebuild the media and compare (tools/make-media.sh --check). The
# debug link holds the debug file's CRC, so the debug information must not
# differ either. Included before the targets are made, for the compile options.
include_guard(GLOBAL)

# The debug information names the source and build folders; they are written
# relative to the source tree (a debugger started there still finds the files).
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${CMAKE_BINARY_DIR}" NORMALIZE build_inside_sources)
if(NOT build_inside_sources)
  add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endif()

# FATAL fails the build on a program over its limit, WARN only says so, OFF
# leaves the sizes unchecked. The release presets check; the test presets
# build the same stripped copies without checking them.
set(PROGRAM_SIZE_CHECK OFF CACHE STRING "What the build does about a program over its size limit")
set_property(CACHE PROGRAM_SIZE_CHECK PROPERTY STRINGS OFF WARN FATAL)

# Off only to measure what they save (bench/run.sh sizes).
option(OWN_LIBRARY_THROWS "The programs define the standard library's std::__throw_* helpers" ON)

if(NOT TARGET programs)
  add_custom_target(programs)
endif()

# release_program(<target> MAX_BYTES <n>)
function(release_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MAX_BYTES" "")
  # Whatever nothing refers to goes; the libraries are compiled with a section
  # per function and object, so this works down to single functions.
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  # The linker writes the time of the link into the PE header; 0 instead.
  target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  # The default terminate handler prints the uncaught exception's demangled
  # type to stderr, which a GUI program does not have, and brings in the
  # demangler and printf with it (some 70 KB). abort() ends the program the
  # same way, silently.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(prefix _)
  endif()
  target_link_options(${target} PRIVATE
    -Wl,--defsym=${prefix}_ZN9__gnu_cxx27__verbose_terminate_handlerEv=${prefix}abort)
  # And the library's precondition failures without its second string type.
  if(OWN_LIBRARY_THROWS)
    target_link_libraries(${target} PRIVATE common_library_throws)
  endif()

  set(dir ${CMAKE_BINARY_DIR}/programs)
  set(stripped ${dir}/${target}.exe)
  set(debug ${dir}/${target}.exe.debug)
  set(stamp ${CMAKE_BINARY_DIR}/CMakeFiles/${target}.size-checked)
  # objcopy writes a new PE header stamped with the time, or with
  # SOURCE_DATE_EPOCH when set: 0, as the linker leaves it.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(
    OUTPUT ${stripped} ${debug}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${target}> ${debug}
    # objcopy reads the debug file for its checksum and stores its bare name.
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${target}.exe.debug
            $<TARGET_FILE:${target}> ${stripped}
    DEPENDS ${target}
    WORKING_DIRECTORY ${dir}
    COMMENT "Stripping ${target}.exe, its debug information kept in ${target}.exe.debug"
    VERBATIM)
  # Its link checks its imports (cmake/link_and_check_imports.cmake).
  add_dependencies(programs ${target})
  if(NOT PROGRAM_SIZE_CHECK)
    add_custom_target(${target}_stripped ALL DEPENDS ${stripped})
    add_dependencies(programs ${target}_stripped)
    return()
  endif()
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=${stripped} -DMAX_BYTES=${arg_MAX_BYTES}
            -DMODE=${PROGRAM_SIZE_CHECK}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_program_size.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${stripped} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_program_size.cmake
    COMMENT "Checking the size of the stripped ${target}.exe"
    VERBATIM)
  add_custom_target(${target}_size ALL DEPENDS ${stamp})
  add_dependencies(programs ${target}_size)
endfunction()
