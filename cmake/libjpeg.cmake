# libjpeg-turbo (libjpeg v8 API, static, SIMD), built by scripts/build-libjpeg.sh into
# the build tree before CMake runs; this only names what it installed.
set(LIBJPEG_PREFIX "" CACHE PATH "Where scripts/build-libjpeg.sh installed libjpeg-turbo")
if(NOT LIBJPEG_PREFIX OR NOT EXISTS ${LIBJPEG_PREFIX}/include/jpeglib.h)
  message(FATAL_ERROR "libjpeg-turbo is missing: LIBJPEG_PREFIX=${LIBJPEG_PREFIX} (run make)")
endif()
find_library(LIBJPEG_LIBRARY NAMES libjpeg.a PATHS ${LIBJPEG_PREFIX}/lib ${LIBJPEG_PREFIX}/lib32
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
add_library(libjpeg STATIC IMPORTED)
set_target_properties(libjpeg PROPERTIES
  IMPORTED_LOCATION ${LIBJPEG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${LIBJPEG_PREFIX}/include)
