# Turns the page template into a C++ source file holding it as one raw
# string literal, with the figure script put in at its marker. Run with
# -DINPUT=<template> -DFIGURE=<script> -DOUTPUT=<source>.
file(READ "${INPUT}" content)
file(READ "${FIGURE}" figure)
string(FIND "${content}" "/*@FIGURE_SCRIPT@*/" figure_at)
if(figure_at EQUAL -1)
  message(FATAL_ERROR "${INPUT} has no /*@FIGURE_SCRIPT@*/ marker")
endif()
string(REPLACE "/*@FIGURE_SCRIPT@*/" "${figure}" content "${content}")
string(FIND "${content}" ")KELTOPAGE" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the literal's closing delimiter")
endif()
# The writer fills in each marker once: @QUARTETS@ before @DATA@.
foreach(marker @QUARTETS@ @DATA@)
  string(FIND "${content}" "${marker}" first)
  string(FIND "${content}" "${marker}" last REVERSE)
  if(first EQUAL -1 OR NOT first EQUAL last)
    message(FATAL_ERROR "${INPUT} must hold ${marker} exactly once")
  endif()
  list(APPEND positions ${first})
endforeach()
list(GET positions 0 count_at)
list(GET positions 1 data_at)
if(NOT count_at LESS data_at)
  message(FATAL_ERROR "${INPUT}: @QUARTETS@ must come before @DATA@")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from src/page/page.html and src/page/figure.js by cmake/embed_page.cmake; do not edit.\n"
  "#include \"page/page_template.hpp\"\n\nnamespace kelto {\n\n"
  "const char kPageTemplate[] = R\"KELTOPAGE(${content})KELTOPAGE\";\n\n}  // namespace kelto\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
