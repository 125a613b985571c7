# Writes OUT, the table of the functions' descriptions, from IN (docs/descriptions.tsv).
file(STRINGS ${IN} lines ENCODING UTF-8)
set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  string(REPLACE "\\" "\\\\" line "${line}")
  string(REPLACE "\"" "\\\"" line "${line}")
  string(REPLACE "\t" "\", \"" line "${line}")
  string(APPEND body "    {\"${line}\"},\n")
endforeach()
file(WRITE ${OUT}.new "// Made from docs/descriptions.tsv at build time.\n"
  "struct Description {\n  const char* function;\n  const char* argument;\n  const char* text;\n};\n"
  "constexpr Description kDescriptions[] = {\n${body}};\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
