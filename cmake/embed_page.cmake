# Turns the page template into a C++ source file holding it as one raw
# string literal. Run with -DINPUT=<template> -DOUTPUT=<source>.
file(READ "${INPUT}" content)
string(FIND "${content}" ")KELTOPAGE" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the literal's closing delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from src/results/page.html by cmake/embed_page.cmake; do not edit.\n"
  "#include \"results/page_template.hpp\"\n\nnamespace kelto {\n\n"
  "const char kPageTemplate[] = R\"KELTOPAGE(${content})KELTOPAGE\";\n\n}  // namespace kelto\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
