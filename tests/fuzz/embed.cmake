# Writes OUTPUT: every file FOLDER/<target>/<name> as a FuzzRegression record.
#   cmake -DFOLDER=... -DOUTPUT=... -P embed.cmake
file(GLOB files RELATIVE ${FOLDER} ${FOLDER}/*/*)
list(SORT files)
set(arrays "")
set(records "")
set(n 0)
foreach(file ${files})
  get_filename_component(target ${file} DIRECTORY)
  get_filename_component(name ${file} NAME)
  file(READ ${FOLDER}/${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "static const uint8_t file${n}[] = {${bytes}0};\n")
  string(APPEND records "    {\"${target}\", \"${name}\", file${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUTPUT} "// Made by tests/fuzz/embed.cmake from tests/fuzz/regressions.
#include \"tests/fuzz/regressions.h\"

${arrays}
const FuzzRegression fuzz_regressions[] = {
${records}    {0, 0, 0, 0},
};
const int32_t fuzz_regression_count = ${n};
")
