# Proves that the programs' OCI comes from the library DRIFT_ORACLE_CLIENT
# names.  Run by ctest (ocilite_client_seam) as
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DCLIENT=/path/libocilite.so
#         -DCXX=... -DCC=... -P client_seam.cmake
# It configures the source tree in WORK_DIR with DRIFT_ORACLE_CLIENT=CLIENT,
# builds the session layer's integration tests and the programs there,
# checks that each leaves the OCI entry points undefined and needs the client
# library (so they come from it, not from a static copy), runs the tests and
# starts the programs.
foreach(var SOURCE_DIR WORK_DIR CLIENT)
  if(NOT ${var})
    message(FATAL_ERROR "client_seam: ${var} not given")
  endif()
endforeach()
if(NOT EXISTS "${CLIENT}")
  message(FATAL_ERROR "client_seam: no client library at ${CLIENT}")
endif()

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "client_seam: '${ARGN}' failed (${rc}):\n${out}")
  endif()
  set(stepOutput "${out}" PARENT_SCOPE)
endfunction()

set(compilers "")
if(CXX)
  list(APPEND compilers -DCMAKE_CXX_COMPILER=${CXX})
endif()
if(CC)
  list(APPEND compilers -DCMAKE_C_COMPILER=${CC})
endif()
# A sanitized client library needs sanitized programs: the runtime must come first.
if(SANITIZE)
  list(APPEND compilers -DDRIFT_SANITIZE=ON)
endif()
step(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -DCMAKE_BUILD_TYPE=Debug
     -DDRIFT_ORACLE_CLIENT=${CLIENT} ${compilers})
set(targets oracle_export_ocilite_tests oracle_import_ocilite_tests)
set(programs "")
foreach(program exdrift indrift)
  if(EXISTS ${SOURCE_DIR}/${program}/main.cc OR (program STREQUAL "exdrift" AND EXISTS ${SOURCE_DIR}/export/main.cc)
     OR (program STREQUAL "indrift" AND EXISTS ${SOURCE_DIR}/import/main.cc))
    list(APPEND programs ${program})
  endif()
endforeach()
# dbftool's create --like logs on through the same session layer.
if(EXISTS ${SOURCE_DIR}/tools/dbftool/create_like.cc)
  list(APPEND programs dbftool)
endif()
step(${CMAKE_COMMAND} --build ${WORK_DIR} -j2 --target ${targets} ${programs})

get_filename_component(clientName ${CLIENT} NAME)
foreach(target IN LISTS targets)
  set(exe ${WORK_DIR}/oracle/${target})
  step(nm -u ${exe})
  foreach(symbol OCILogon OCIStmtPrepare OCIStmtExecute OCIBindByName)
    if(NOT stepOutput MATCHES "U ${symbol}\n")
      message(FATAL_ERROR "client_seam: ${target} does not take ${symbol} from the client library")
    endif()
  endforeach()
  step(readelf -d ${exe})
  if(NOT stepOutput MATCHES "NEEDED[^\n]*\\[${clientName}\\]")
    message(FATAL_ERROR "client_seam: ${target} does not need ${clientName}:\n${stepOutput}")
  endif()
  step(${exe})
  message(STATUS "client_seam: ${target} passed over ${clientName}")
endforeach()

# The programs themselves: linked the same way, and they start with the
# client library loaded (without arguments they print their usage and end
# with exit code 1; a loader failure would be 127).
foreach(program IN LISTS programs)
  set(exe ${WORK_DIR}/${program})
  if(NOT EXISTS ${exe})
    message(FATAL_ERROR "client_seam: ${program} was not built")
  endif()
  step(nm -u ${exe})
  set(symbols OCIInitialize OCILogon OCIStmtExecute)
  if(program STREQUAL "dbftool")
    set(symbols OCILogon OCIStmtExecute OCIParamGet)
  endif()
  foreach(symbol IN LISTS symbols)
    if(NOT stepOutput MATCHES "U ${symbol}\n")
      message(FATAL_ERROR "client_seam: ${program} does not take ${symbol} from the client library")
    endif()
  endforeach()
  step(readelf -d ${exe})
  if(NOT stepOutput MATCHES "NEEDED[^\n]*\\[${clientName}\\]")
    message(FATAL_ERROR "client_seam: ${program} does not need ${clientName}")
  endif()
  execute_process(COMMAND ${exe} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 1)
    message(FATAL_ERROR "client_seam: ${program} without arguments ended with ${rc}:\n${out}")
  endif()
  message(STATUS "client_seam: ${program} links and starts over ${clientName}")
endforeach()
