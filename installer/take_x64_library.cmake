# cmake -DSOURCE=<x86_64 binary> -DDESTINATION=<copy> -DSETTING=<cache variable> -P take_x64_library.cmake
# Copies a 64-bit binary (Hueshell.dll, tagwright-cli.exe) into the i686 tree for the
# installer, or stops the build with the reason when it has not been built or is not an
# x86_64 binary.  SETTING names the cache variable that points at it.
get_filename_component(name "${SOURCE}" NAME)
if(NOT EXISTS "${SOURCE}")
  message(FATAL_ERROR
    "The 64-bit ${name} is missing: ${SOURCE}\n"
    "Tagwright-Setup.exe installs it on 64-bit Windows and is not made without it. "
    "Build the x86_64 tree first (cmake --preset win64 && cmake --build --preset win64), "
    "or point ${SETTING} at an x86_64 ${name}.")
endif()

# The machine field of the PE header: 0x8664 (stored little-endian) for x86_64.
file(READ "${SOURCE}" pe_offset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" pe_offset "${pe_offset}")
math(EXPR pe_offset "0x${pe_offset} + 4")
file(READ "${SOURCE}" machine OFFSET ${pe_offset} LIMIT 2 HEX)
if(NOT machine STREQUAL "6486")
  message(FATAL_ERROR "${SOURCE} is not an x86_64 binary (PE machine bytes ${machine}); "
                      "${SETTING} must name the x86_64 build's ${name}.")
endif()

get_filename_component(directory "${DESTINATION}" DIRECTORY)
file(MAKE_DIRECTORY "${directory}")
file(COPY_FILE "${SOURCE}" "${DESTINATION}" ONLY_IF_DIFFERENT)
