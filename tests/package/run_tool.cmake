# run_tool(VARIABLE COMMAND...): runs COMMAND and sets VARIABLE to the list of
# its output's lines; a failing command fails the script with its errors.
function(run_tool output_variable)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${result}):\n${output}${errors}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${output}")
  set(${output_variable} "${lines}" PARENT_SCOPE)
endfunction()
