# Writes INPUT as a C++ byte array named SYMBOL (and SYMBOL_size) to OUTPUT:
# the help page carried inside the Linux library, found there by name.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT}
  "// Generated from the help page; do not edit.\n"
  "#include <cstddef>\n"
  "extern \"C\" __attribute__((visibility(\"default\"))) const unsigned char ${SYMBOL}[] = {${bytes}};\n"
  "extern \"C\" __attribute__((visibility(\"default\"))) const std::size_t ${SYMBOL}_size = ${size};\n")
