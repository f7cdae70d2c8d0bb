# cmake -DSOURCE=<x86_64 Hueshell.dll> -DDESTINATION=<copy> -P take_x64_library.cmake
# Copies the 64-bit library into the i686 tree for the installer, or stops the build with
# the reason when it has not been built or is not an x86_64 library.
if(NOT EXISTS "${SOURCE}")
  message(FATAL_ERROR
    "The 64-bit Hueshell.dll is missing: ${SOURCE}\n"
    "Tagwright-Setup.exe installs it on 64-bit Windows and is not made without it. "
    "Build the x86_64 tree first (cmake --preset win64 && cmake --build --preset win64), "
    "or point HUESHELL_DLL_X64 at an x86_64 Hueshell.dll.")
endif()

# The machine field of the PE header: 0x8664 (stored little-endian) for x86_64.
file(READ "${SOURCE}" pe_offset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" pe_offset "${pe_offset}")
math(EXPR pe_offset "0x${pe_offset} + 4")
file(READ "${SOURCE}" machine OFFSET ${pe_offset} LIMIT 2 HEX)
if(NOT machine STREQUAL "6486")
  message(FATAL_ERROR "${SOURCE} is not an x86_64 library (PE machine bytes ${machine}); "
                      "HUESHELL_DLL_X64 must name the x86_64 build's Hueshell.dll.")
endif()

get_filename_component(directory "${DESTINATION}" DIRECTORY)
file(MAKE_DIRECTORY "${directory}")
file(COPY_FILE "${SOURCE}" "${DESTINATION}" ONLY_IF_DIFFERENT)
