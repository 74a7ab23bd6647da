# Installs the build into a fresh prefix, then configures, builds and runs the host project of
# package_host/ against it. Arguments (-D): BUILD_DIR, WORK_DIR, HOST_SOURCE, GENERATOR,
# CXX_COMPILER, CXX_FLAGS, BUILD_TYPE, QT_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The package must not depend on the build tree: the host sees only the prefix and Qt.
run("configure host" ${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${WORK_DIR}/host -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DCMAKE_PREFIX_PATH=${prefix} -DQt6_DIR=${QT_DIR})
run("build host" ${CMAKE_COMMAND} --build ${WORK_DIR}/host)
run("run host" ${WORK_DIR}/host/varnel_host)
if(NOT last_output MATCHES "^Varnel \\.NET package Version\\(2,5,8,1:B1\\)")
  message(FATAL_ERROR "unexpected output of the host:\n${last_output}")
endif()
message(STATUS "host ran:\n${last_output}")
