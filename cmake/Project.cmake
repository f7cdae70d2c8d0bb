# Settings shared by every target of the three builds.

set(PROJECT_SCRIPTS ${CMAKE_SOURCE_DIR}/scripts)

if(WIN32)
  # Windows binaries carry their C and C++ runtime and import only system DLLs.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_compile_options(-Wall -Wextra)
  add_link_options(-static -static-libgcc -static-libstdc++)

  # ship_stripped(TARGET): the binary that is built, tested and shipped carries no debug
  # information (most of it the static C++ runtime's); the symbols stay beside it in the
  # build tree, as TARGET_FILE.debug, tied to it by a debug link, for crash analysis.
  function(ship_stripped target)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
              $<TARGET_FILE:${target}>
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      COMMENT "Debug information of ${target} kept beside it"
      VERBATIM)
  endfunction()

  # Every build tree has its own Wine prefix, created on first use and reused.
  set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(WINE_RUN ${PROJECT_SCRIPTS}/wine-run ${WINE_PREFIX})

  # GoogleTest from Debian's sources, built with the posix-thread MinGW compilers.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  # add_wine_test(NAME SOURCES... [LIBS libs...]): a GoogleTest program run under Wine by CTest.
  function(add_wine_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
    add_test(NAME ${name} COMMAND ${WINE_RUN} $<TARGET_FILE:${name}> --gtest_color=no
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "PROJECT_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endfunction()
else()
  add_compile_options(-Wall -Wextra)
  find_package(GTest REQUIRED)

  # Unit tests of the portable code run with AddressSanitizer and UndefinedBehaviorSanitizer.
  set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

  function(add_native_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${SANITIZE_FLAGS})
    target_link_options(${name} PRIVATE ${SANITIZE_FLAGS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  endfunction()
endif()
