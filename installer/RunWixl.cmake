# Runs wixl and fails on any warning it prints as well as on an error: wixl
# drops attributes and elements it does not know with a warning and still
# builds a package, which then does something else.
#   cmake -DWIXL=<wixl> -DOUTPUT=<package> -DARGUMENTS=<list> -P RunWixl.cmake
file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${WIXL}" -o "${OUTPUT}" ${ARGUMENTS}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(STRIP "${output}${errors}" said)
if(NOT result EQUAL 0 OR NOT said STREQUAL "")
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "wixl failed or warned (exit ${result}), ${OUTPUT} not built:\n${said}")
endif()
