# GoogleTest from the sources that Debian's googletest package installs, compiled with
# the build's own compiler (the Windows build needs it cross-compiled).
set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Third-party code: our warning flags are not its business.
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()
