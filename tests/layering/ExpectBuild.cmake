# Builds one probe target. EXPECT=good: the build must succeed. EXPECT=bad:
# it must fail, and on the include of HEADER, not for some other reason.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(EXPECT STREQUAL "good")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET} should build but did not:\n${output}")
  endif()
else()
  string(REPLACE "." "\\." header_pattern "${HEADER}")
  if(result EQUAL 0)
    message(FATAL_ERROR "${TARGET} built, but its view should not hold ${HEADER}")
  elseif(NOT output MATCHES "${header_pattern}: No such file or directory")
    message(FATAL_ERROR "${TARGET} failed for another reason than ${HEADER}:\n${output}")
  endif()
  message(STATUS "${TARGET} failed as it must: ${HEADER} is not in its view")
endif()
