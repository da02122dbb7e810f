# Windows build: KestrixTray.exe, the companion stand-ins, the test helpers and
# the integration tests, statically linked so that nothing but the system's
# own DLLs is needed. The shipped product is the 32-bit (i686) build; the same
# sources build for x86_64 (cmake/mingw-x86_64.cmake), each with its own
# structure layouts, and the integration tests run against either.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KX_WINDOWS_ARCH x86_64)
    set(KX_WINDOWS_BITS 64)
else()
    set(KX_WINDOWS_ARCH i686)
    set(KX_WINDOWS_BITS 32)
endif()
option(KX_WINE_TESTS "Register the integration tests, run under Wine, with ctest" ON)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
set(KX_STATIC_LINK -static -static-libgcc -static-libstdc++)

# Every program of this build (KestrixTray.exe, companions, test helpers and
# the integration tests) lands in <build>/bin, next to each other as they are
# installed, so the tests find them in their working folder.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")

if(MSVC)
    # Visual Studio: the static runtime instead of the mingw link flags, and
    # no linker-made manifest beside the one the resource scripts embed.
    set(KX_STATIC_LINK "")
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    add_link_options(/MANIFEST:NO)
endif()

# A manifest with the version of the shared definitions, beside the generated
# version header where the resource scripts find it as <name>.build.manifest.
function(kx_configure_manifest source)
    get_filename_component(name "${source}" NAME_WE)
    configure_file("${source}" "${KX_VERSION_HEADER_DIR}/${name}.build.manifest" @ONLY)
endfunction()

file(GLOB KX_WIN32_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp")
add_library(kx_win32 STATIC ${KX_WIN32_SOURCES})
target_link_libraries(kx_win32 PUBLIC kx_core)
# Only KnownDLLs (and comctl32, which the manifests name): winhttp and psapi
# are bound at run time from the system folder (Win32SystemLibrary.h).
target_link_libraries(kx_win32 PUBLIC advapi32 user32 gdi32 shell32 ole32 oleaut32 comctl32 uuid)

if(EXISTS "${CMAKE_SOURCE_DIR}/src/app/win32")
file(GLOB KX_APP_WIN32_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/app/win32/*.cpp")
kx_configure_manifest("${CMAKE_SOURCE_DIR}/resources/KestrixTray.manifest")
add_executable(KestrixTray WIN32 ${KX_APP_WIN32_SOURCES} "${CMAKE_SOURCE_DIR}/resources/KestrixTray.rc")
target_link_libraries(KestrixTray PRIVATE kx_win32)
target_link_options(KestrixTray PRIVATE ${KX_STATIC_LINK} -municode)
set_target_properties(KestrixTray PROPERTIES OUTPUT_NAME "KestrixTray")
endif()

# GoogleTest from Debian's sources, for the integration tests.
if(EXISTS /usr/src/googletest/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    foreach(gtarget gtest gtest_main gmock)
        target_compile_options(${gtarget} PRIVATE -w)
    endforeach()
endif()

# Companion stand-ins and test helpers: one folder each under tests/standins/.
file(GLOB KX_COMPANION_DIRS LIST_DIRECTORIES true "${CMAKE_SOURCE_DIR}/tests/standins/*")
foreach(companion_dir IN LISTS KX_COMPANION_DIRS)
    if(EXISTS "${companion_dir}/CMakeLists.txt")
        add_subdirectory("${companion_dir}")
    endif()
endforeach()

# The product as shipped: the real help file and the installer (after the
# companions, whose programs they take).
foreach(product_dir programs/help programs/main programs/updater installer installer/policies)
    if(EXISTS "${CMAKE_SOURCE_DIR}/${product_dir}/CMakeLists.txt")
        add_subdirectory("${CMAKE_SOURCE_DIR}/${product_dir}" "${CMAKE_BINARY_DIR}/${product_dir}")
    endif()
endforeach()

# The shipped 32-bit files, checked without running them: PE32 i386 images,
# KestrixTray.exe stripped. Registered on every machine, whichever build the
# Wine suite runs against.
if(KX_WINDOWS_ARCH STREQUAL "i686" AND CMAKE_OBJDUMP)
    add_test(NAME product.static_pe32
             COMMAND bash "${CMAKE_SOURCE_DIR}/tests/static/check-product-pe32.sh" "${CMAKE_OBJDUMP}"
                     "${CMAKE_BINARY_DIR}/product")
endif()
# The import tables of every shipped program of this build (both builds
# register it): nothing a DLL planted beside them could replace.
if(CMAKE_OBJDUMP)
    add_test(NAME product.imports_${KX_WINDOWS_ARCH}
             COMMAND bash "${CMAKE_SOURCE_DIR}/tests/static/check-product-imports.sh" "${CMAKE_OBJDUMP}"
                     "${CMAKE_BINARY_DIR}/product" "${CMAKE_BINARY_DIR}/installer/kxacl.exe")
endif()

# Integration tests under Wine.
if(EXISTS "${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt")
    add_subdirectory("${CMAKE_SOURCE_DIR}/tests/wine" "${CMAKE_BINARY_DIR}/tests/wine")
endif()
