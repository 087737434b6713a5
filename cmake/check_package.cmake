# Builds the release zip with cpack and checks what it holds: the module and the module for
# hosts that read the PiPL strictly (the very files the other tests check), the README and the
# licence, and nothing else.
#   cmake -DBUILD_DIR=<build dir> -DMODULE=<module file> -DSTRICT_MODULE=<module file> -P check_package.cmake
set(work ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${work})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${work}
                RESULT_VARIABLE failed OUTPUT_QUIET)
file(GLOB zips ${work}/*.zip)
list(LENGTH zips count)
if(failed OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made no zip")
endif()

file(MAKE_DIRECTORY ${work}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zips} WORKING_DIRECTORY ${work}/unpacked)
file(GLOB_RECURSE contents RELATIVE ${work}/unpacked ${work}/unpacked/*)
list(SORT contents)
if(NOT contents STREQUAL "LICENSE;README.md;Velorund-150 64bit.8bf;strict-hosts/Velorund-150 64bit.8bf")
  message(FATAL_ERROR "${zips} holds \"${contents}\"")
endif()

# Each packed module must be the very file built.
function(expect_packed name built)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${work}/unpacked/${name}" "${built}"
                  RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "${name} in ${zips} is not the module built")
  endif()
endfunction()
expect_packed("Velorund-150 64bit.8bf" "${MODULE}")
expect_packed("strict-hosts/Velorund-150 64bit.8bf" "${STRICT_MODULE}")
message(STATUS "${zips}: ${contents}")
