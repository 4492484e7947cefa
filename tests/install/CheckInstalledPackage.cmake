# Installs the build into a fresh prefix, builds hosts against the installed
# package, loads a sample with one and converts and draws it with the other.
# The work folder is removed afterwards, whatever the result.
function(check)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/prefix
                  RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    set(problem "install failed" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install -B ${WORK}/host
                          -DCMAKE_PREFIX_PATH=${WORK}/prefix -DEXAMPLES=${SOURCE_DIR}/examples
                  RESULT_VARIABLE failed)
  if(failed)
    set(problem "the host could not find the package" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/host RESULT_VARIABLE failed)
  if(failed)
    set(problem "the hosts did not build against the installed headers" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${WORK}/host/load_scene ${SOURCE_DIR}/examples/house.wrl RESULT_VARIABLE failed)
  if(failed)
    set(problem "the host could not load a sample" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${WORK}/host/convert_scene ${SOURCE_DIR}/examples/house.wrl ${WORK}/house.glb
                          ${WORK}/house.png RESULT_VARIABLE failed)
  file(SIZE ${WORK}/house.glb glb)
  file(SIZE ${WORK}/house.png png)
  file(READ ${WORK}/house.png signature LIMIT 4 HEX)
  if(failed OR glb LESS 1000 OR NOT signature STREQUAL "89504e47")
    set(problem "the host could not convert and draw a sample (.glb ${glb} bytes, .png ${png} bytes)" PARENT_SCOPE)
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
check()
file(REMOVE_RECURSE ${WORK})
if(problem)
  message(FATAL_ERROR "${problem}")
endif()
