# Regenerates the default data into a scratch folder and compares it with the shipped files,
# so a hand edit of a generated file (which the next regeneration would silently drop) fails.
#   cmake -DGENERATOR=<exe> -DSHIPPED=<data folder> -DSCRATCH=<folder> -P CompareGeneratedData.cmake
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${GENERATOR}" "${SCRATCH}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generator failed: ${rc}")
endif()
file(GLOB generated RELATIVE "${SCRATCH}" "${SCRATCH}/*")
list(LENGTH generated count)
if(count EQUAL 0)
  message(FATAL_ERROR "generator wrote nothing")
endif()
foreach(name IN LISTS generated)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SCRATCH}/${name}" "${SHIPPED}/${name}"
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "data/${name} differs from the generator's output; regenerate it with "
                        "tessel_generate_default_data instead of editing it by hand")
  endif()
endforeach()
