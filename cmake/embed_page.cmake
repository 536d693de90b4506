# Turns the page template into a C++ source file holding it as one raw
# string literal, with each script file put in at its marker
# "/*@SCRIPT name.js@*/" (the file beside the template). Run with
# -DINPUT=<template> -DOUTPUT=<source>.
file(READ "${INPUT}" content)
get_filename_component(folder "${INPUT}" DIRECTORY)
string(REGEX MATCHALL "/\\*@SCRIPT [a-z_]+\\.js@\\*/" markers "${content}")
if(NOT markers)
  message(FATAL_ERROR "${INPUT} has no /*@SCRIPT name.js@*/ marker")
endif()
foreach(marker ${markers})
  string(REGEX REPLACE "^/\\*@SCRIPT ([a-z_]+\\.js)@\\*/$" "\\1" name "${marker}")
  file(READ "${folder}/${name}" script)
  string(REPLACE "${marker}" "${script}" content "${content}")
endforeach()
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
  "// Generated from src/page/page.html and its scripts by cmake/embed_page.cmake; do not edit.\n"
  "#include \"page/page_template.hpp\"\n\nnamespace kelto {\n\n"
  "const char kPageTemplate[] = R\"KELTOPAGE(${content})KELTOPAGE\";\n\n}  // namespace kelto\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
