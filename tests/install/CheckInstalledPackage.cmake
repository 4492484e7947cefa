# Installs the build into a fresh prefix, builds a host against the installed
# package and loads a sample with it.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/prefix
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "install failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install -B ${WORK}/host
                        -DCMAKE_PREFIX_PATH=${WORK}/prefix -DEXAMPLE_SOURCE=${SOURCE_DIR}/examples/load_scene.cpp
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the host could not find the package")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/host RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the host did not build against the installed headers")
endif()
execute_process(COMMAND ${WORK}/host/load_scene ${SOURCE_DIR}/examples/house.wrl RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the host could not load a sample")
endif()
