# Kestrix.msi, built with wixl (Debian packages wixl and wixl-data) from
# kestrix.wxs and the settings defaults made here from src/config/Contract.def.
# Included by installer/CMakeLists.txt, which sets KX_PRODUCT_DIR and setup_depends.

find_program(KX_WIXL wixl)
if(NOT KX_WIXL)
    message(WARNING "wixl not found (Debian packages wixl, wixl-data): Kestrix.msi is not built")
    return()
endif()

# --- The settings defaults, one Property a value: the contract's default,
# replaced by the value already there (AppSearch, before an upgrade removes
# the older package), and written back by one RegistryValue. So a value is
# written only where it is missing, and what an administrator or a user set
# survives every upgrade. Colours stay unset (KestrixTray picks those that
# suit the Windows release); a value the package did not write, such as a
# colour the user chose, stays after its removal, as the block list does.
# UpdatedDate has no default: kxacl stamps it after the values are written,
# and the row makes the removal take it away. A switch whose
# contract default is 0 is a behaviour added behind a setting: the installers
# turn it on (1) where the value is missing; the flags the programs write
# themselves keep their default.
set(kx_flags_the_programs_write ReloadList)
function(kx_xml_escape text out)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
# ' name="value"', or nothing for an empty value.
function(kx_optional_attribute out name value)
    if(value STREQUAL "")
        set(${out} "" PARENT_SCOPE)
    else()
        set(${out} " ${name}=\"${value}\"" PARENT_SCOPE)
    endif()
endfunction()
if(KX_WINDOWS_BITS EQUAL 64)
    set(kx_win64 yes)
else()
    set(kx_win64 no)
endif()
kx_xml_escape("${KX_CONTRACT_SettingsKey}" kx_key)
set(properties "")
set(values "")
foreach(setting IN LISTS KX_CONTRACT_SETTINGS)
    set(type "${KX_CONTRACT_SETTING_TYPE_${setting}}")
    set(default "${KX_CONTRACT_SETTING_DEFAULT_${setting}}")
    if(type STREQUAL "COLOR")
        continue()
    endif()
    if(type STREQUAL "TEXT")
        # A raw registry search returns a text that begins with # as ##.
        if(default MATCHES "^#")
            set(default "#${default}")
        endif()
    else()
        if(type STREQUAL "BOOL" AND default EQUAL 0 AND NOT setting IN_LIST kx_flags_the_programs_write)
            set(default 1)
        endif()
        set(default "#${default}")
    endif()
    kx_xml_escape("${default}" default)
    string(TOUPPER "KX_${setting}" property)
    kx_optional_attribute(value_attribute Value "${default}")
    string(APPEND properties
        "    <Property Id=\"${property}\"${value_attribute}>\n"
        "      <RegistrySearch Id=\"Find${setting}\" Root=\"HKLM\" Key=\"${kx_key}\" Name=\"${setting}\" Type=\"raw\" Win64=\"${kx_win64}\"/>\n"
        "    </Property>\n")
    # The first value is the component's key path.
    set(first "")
    if(values STREQUAL "")
        set(first yes)
    endif()
    kx_optional_attribute(keypath KeyPath "${first}")
    string(APPEND values
        "        <RegistryValue Root=\"HKLM\" Key=\"${kx_key}\" Name=\"${setting}\" Type=\"string\" Value=\"[${property}]\"${keypath}/>\n")
endforeach()
set(KX_MSI_DEFAULTS "${CMAKE_BINARY_DIR}/generated/kestrix-defaults.wxi")
file(CONFIGURE OUTPUT "${KX_MSI_DEFAULTS}" CONTENT
"<?xml version=\"1.0\" encoding=\"utf-8\"?>
<!-- Made by the build from src/config/Contract.def: do not edit. Included by kestrix.wxs. -->
<Include>
${properties}    <DirectoryRef Id=\"INSTALLDIR\">
      <Component Id=\"SettingsDefaults\" Guid=\"*\" Win64=\"${kx_win64}\">
${values}      </Component>
    </DirectoryRef>
</Include>
" @ONLY)

# --- The packages. Windows Installer compares the first three parts of a
# version. Kestrix-next.msi is the same package one build later, for the
# test of an upgrade and of a refused downgrade; it is not shipped.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" kx_msi_version "${KX_VERSION}")
math(EXPR kx_next_build "${CMAKE_MATCH_3} + 1")
set(kx_msi_next_version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${kx_next_build}")
if(KX_WINDOWS_BITS EQUAL 64)
    set(kx_msi_arch x64)
else()
    set(kx_msi_arch x86)
endif()
set(KX_MSI "${KX_PRODUCT_DIR}/Kestrix.msi")
set(KX_MSI_NEXT "${CMAKE_BINARY_DIR}/installer/Kestrix-next.msi")
set(kx_msi_targets "")
foreach(package KX_MSI KX_MSI_NEXT)
    if(package STREQUAL "KX_MSI")
        set(version "${kx_msi_version}")
    else()
        set(version "${kx_msi_next_version}")
    endif()
    add_custom_command(
        OUTPUT "${${package}}"
        COMMAND ${CMAKE_COMMAND} -DWIXL=${KX_WIXL} -DOUTPUT=${${package}}
                "-DARGUMENTS=-a;${kx_msi_arch};-D;Version=${version};-D;Bits=${KX_WINDOWS_BITS};-I;${CMAKE_BINARY_DIR}/generated;${CMAKE_CURRENT_SOURCE_DIR}/kestrix.wxs"
                -P "${CMAKE_CURRENT_SOURCE_DIR}/RunWixl.cmake"
        # wixl takes the files' paths relative to where it runs.
        WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
        DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/kestrix.wxs" "${KX_MSI_DEFAULTS}" "${CMAKE_CURRENT_SOURCE_DIR}/RunWixl.cmake"
                ${setup_depends} "${KX_PRODUCT_DIR}/Kestrix.chm" "${KX_PRODUCT_DIR}/KestrixTray.exe"
        COMMENT "Building ${${package}} (${version})"
        VERBATIM)
    list(APPEND kx_msi_targets "${${package}}")
endforeach()
add_custom_target(kestrix_msi ALL DEPENDS ${kx_msi_targets})
add_dependencies(kestrix_msi ${setup_depends})
