# Writes OUTPUT, a C++ source that defines each asset as a string constant:
# cmake -DOUTPUT=file.cpp -DASSETS="kName=path|kOther=path" -P embed_assets.cmake
# The files are taken byte for byte inside raw string literals.
set(source "// Generated from the report's asset files by embed_assets.cmake.\n")
string(APPEND source "#include \"io/report/report_assets.h\"\n")
string(REPLACE "|" ";" assets "${ASSETS}")
foreach(asset IN LISTS assets)
  string(REPLACE "=" ";" parts "${asset}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" content)
  string(FIND "${content}" ")asset\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the raw-string delimiter )asset\"")
  endif()
  string(APPEND source "extern const char ${name}[] = R\"asset(${content})asset\";\n")
endforeach()
file(WRITE "${OUTPUT}" "${source}")
