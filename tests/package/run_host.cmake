# A host developer's first build against the installed libraries: installs
# BUILD_DIR into a fresh prefix below WORK_DIR, configures and builds the
# host project SOURCE against it, then runs PROGRAM from the host's build
# folder (through RUNNER, when given). The host finds PACKAGE of VERSION by
# <PACKAGE>_DIR, which, unlike CMAKE_PREFIX_PATH, no toolchain's search root
# hides. TOOLCHAIN is the cross build's toolchain file, when there is one.

function(step)
  file(MAKE_DIRECTORY ${WORK_DIR})
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message(STATUS "${output}")
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${result}): ${command}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})

set(toolchain)
if(TOOLCHAIN)
  set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()

step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
step(${CMAKE_COMMAND} -S ${SOURCE} -B ${build} -DCMAKE_BUILD_TYPE=Release ${toolchain}
     -D${PACKAGE}_DIR=${prefix}/lib/cmake/${PACKAGE} -DZERAV_VERSION=${VERSION})
step(${CMAKE_COMMAND} --build ${build})
step(${RUNNER} ${build}/${PROGRAM})
