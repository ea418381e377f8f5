# cmake --install puts the udev rules where udev reads them, relative to the prefix.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component udev --prefix ${PREFIX}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
if(NOT EXISTS ${PREFIX}/lib/udev/rules.d/70-tessel.rules)
  message(FATAL_ERROR "rules not installed under ${PREFIX}/lib/udev/rules.d")
endif()
