# Little CMS, the colour engine behind the gamut pictures.
#
# Natively the target `lcms2` is Debian's shared liblcms2.  The Windows builds compile
# Little CMS 2.14 from Debian's source package, which scripts/bootstrap unpacks into
# LCMS2_SOURCE_DIR, as a static library: the binaries still import only system DLLs.

# Its test profiles (testbed/) serve the tests as lookup-table profiles in both builds.
set(LCMS2_SOURCE_DIR /var/cache/tagwright/lcms2-2.14 CACHE PATH
    "Little CMS 2.14 sources (apt-get source lcms2; scripts/bootstrap puts them here)")

if(WIN32)
  if(NOT EXISTS ${LCMS2_SOURCE_DIR}/include/lcms2.h)
    message(FATAL_ERROR "Little CMS sources not found in ${LCMS2_SOURCE_DIR}: run scripts/bootstrap")
  endif()
  file(STRINGS ${LCMS2_SOURCE_DIR}/include/lcms2.h lcms2_version REGEX "#define LCMS_VERSION +2140")
  if(NOT lcms2_version)
    message(FATAL_ERROR "${LCMS2_SOURCE_DIR} does not hold Little CMS 2.14")
  endif()
  file(GLOB lcms2_sources ${LCMS2_SOURCE_DIR}/src/*.c)
  add_library(lcms2 STATIC ${lcms2_sources})
  target_include_directories(lcms2 SYSTEM PUBLIC ${LCMS2_SOURCE_DIR}/include)
  target_include_directories(lcms2 PRIVATE ${LCMS2_SOURCE_DIR}/src)
  # Third-party code: built as its authors build it, without our warnings.
  target_compile_options(lcms2 PRIVATE -w -O2)
  # Its context lock is initialized statically, not guarded by a Windows mutex that it
  # creates on first use and never closes: Hueshell is loaded and unloaded all session
  # long, and each load would leave one mutex handle behind.
  target_compile_definitions(lcms2 PRIVATE CMS_RELY_ON_WINDOWS_STATIC_MUTEX_INIT)
else()
  find_library(LCMS2_LIBRARY lcms2 REQUIRED)
  find_path(LCMS2_INCLUDE_DIR lcms2.h REQUIRED)
  add_library(lcms2 INTERFACE)
  target_include_directories(lcms2 INTERFACE ${LCMS2_INCLUDE_DIR})
  target_link_libraries(lcms2 INTERFACE ${LCMS2_LIBRARY})
endif()
