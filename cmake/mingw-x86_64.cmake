# The same programs for x86_64, for machines that cannot run 32-bit code.
set(KX_MINGW_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
