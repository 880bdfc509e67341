# Compiles a translation unit that includes nothing but HEADER, as LANGUAGE
# (c or c++) with COMPILER, strictly: a header a host includes first must
# bring everything it needs and nothing a C or C++ compiler rejects.
# The oldest standards that have one-byte bool and fixed-width integers.
if(LANGUAGE STREQUAL "c")
  set(flags -x c -std=c99)
  set(extension c)
elseif(LANGUAGE STREQUAL "c++")
  set(flags -x c++ -std=c++11)
  set(extension cpp)
else()
  message(FATAL_ERROR "LANGUAGE is c or c++, not '${LANGUAGE}'")
endif()

get_filename_component(name ${HEADER} NAME_WE)
set(source ${WORK_DIR}/include_${name}.${extension})
file(WRITE ${source} "#include <${name}.h>\n")
get_filename_component(folder ${HEADER} DIRECTORY)
execute_process(
  COMMAND ${COMPILER} ${flags} -fsyntax-only -Wall -Wextra -pedantic-errors -Werror -I ${folder} ${source}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${name}.h does not compile alone as ${LANGUAGE}:\n${output}")
endif()
message(STATUS "${name}.h compiles alone as ${LANGUAGE}")
