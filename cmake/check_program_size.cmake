# Fails when a stripped program is larger than its limit. The size follows
# from the sources and the flags alone, so a program that grows past it has
# taken in code it does not need (the C++ locale and stream machinery weighs
# several hundred kilobytes).
#   cmake -DPROGRAM=<x.exe> -DMAX_BYTES=<n> -DMODE=<FATAL|WARN> -P check_program_size.cmake
cmake_minimum_required(VERSION 3.25)

file(SIZE ${PROGRAM} size)
math(EXPR kilobytes "(${size} + 1023) / 1024")
math(EXPR limit "${MAX_BYTES} / 1024")
if(size GREATER MAX_BYTES)
  if(MODE STREQUAL "WARN")
    set(MODE WARNING)
  else()
    set(MODE FATAL_ERROR)
  endif()
  message(${MODE} "${PROGRAM} is ${kilobytes} KB stripped, over its limit of ${limit} KB: "
                  "look for what links in iostreams or locale code (nm -C on the unstripped program)")
endif()
message(STATUS "${PROGRAM}: ${kilobytes} KB stripped (limit ${limit} KB)")
