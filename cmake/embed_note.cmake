# Turns the usage note (UTF-8, one line per line) into the bytes the program writes:
# code page 1251, CR LF after every line, no terminating zero.
#   cmake -DINPUT=usage_note.txt -DOUTPUT=usage_note_bytes.cpp -P embed_note.cmake
execute_process(COMMAND iconv -f UTF-8 -t CP1251 ${INPUT}
                OUTPUT_FILE ${OUTPUT}.txt RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "iconv could not convert ${INPUT}")
endif()
file(READ ${OUTPUT}.txt hex HEX)
file(REMOVE ${OUTPUT}.txt)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Every LF becomes CR LF.
string(REPLACE "0x0a," "0x0d,0x0a," bytes "${bytes}")
string(REGEX MATCHALL "," commas "${bytes}")
list(LENGTH commas length)
file(WRITE ${OUTPUT}
  "// Generated from app/usage_note.txt; do not edit.\n"
  "#include \"app/usage_note.h\"\n\n"
  "const unsigned char usage_note[] = {${bytes}};\n"
  "const int32_t usage_note_length = ${length};\n")
