# Files a script made once and the source tree keeps (the programs' images),
# checked at configure time instead of made again at every build.
include_guard(GLOBAL)

# Fails unless every file named in <hash_list> still has the hash written
# there, and sets <files> to those files, for what is built from them. The
# list (sha256sum's format, paths from the top of the source tree) is
# written by the script it names first, together with the files it made. A
# change to any of them runs the check again at the next build.
function(check_generated_files hash_list files)
  file(STRINGS ${hash_list} lines)
  set(script)
  set(changed)
  set(listed)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
      message(FATAL_ERROR "${hash_list}: not a line of hashes: ${line}")
    endif()
    set(expected ${CMAKE_MATCH_1})
    set(path ${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_2})
    if(NOT script)
      set(script ${CMAKE_MATCH_2})
    endif()
    list(APPEND listed ${path})
    set(actual)
    if(EXISTS ${path})
      file(SHA256 ${path} actual)
    endif()
    if(NOT actual STREQUAL expected)
      list(APPEND changed ${CMAKE_MATCH_2})
    endif()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${hash_list} ${listed})
  set(${files} ${listed} PARENT_SCOPE)
  if(changed)
    list(JOIN changed ", " names)
    message(FATAL_ERROR "${hash_list}: ${names} changed since ${script} last ran; "
                        "make its files anew with: python3 ${script}")
  endif()
endfunction()
