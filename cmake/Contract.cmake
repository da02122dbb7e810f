# Reads the programs' shared contract (src/config/Contract.def, which the C++
# code includes too) and makes from it what the non-C++ parts of the build
# take: the version for project(), the resource scripts and the manifests,
# and the installer's include. Included before project(), so it may use
# only what CMake knows without a language.

set(KX_CONTRACT_DEF "${CMAKE_CURRENT_LIST_DIR}/../src/config/Contract.def")
get_filename_component(KX_CONTRACT_DEF "${KX_CONTRACT_DEF}" ABSOLUTE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KX_CONTRACT_DEF}")

file(STRINGS "${KX_CONTRACT_DEF}" kx_contract_lines REGEX "^KX_")
set(KX_CLOSE_CLASSES "")
set(KX_CONTRACT_SETTINGS "")
foreach(line IN LISTS kx_contract_lines)
    if(line MATCHES "^KX_VERSION\\(([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)\\)$")
        set(KX_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
        set(KX_VERSION_COMMAS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
    elseif(line MATCHES "^KX_TEXT\\(([A-Za-z]+), \"([^\"]*)\"\\)$")
        # C++ escapes a backslash; NSIS and the resource compiler take it as one.
        string(REPLACE "\\\\" "\\" value "${CMAKE_MATCH_2}")
        set(KX_CONTRACT_${CMAKE_MATCH_1} "${value}")
    elseif(line MATCHES "^KX_CLOSE_CLASS\\([A-Za-z]+, \"([A-Za-z0-9_]+)\"\\)$")
        list(APPEND KX_CLOSE_CLASSES "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^KX_SETTING_(TEXT|INTEGER|BOOL)\\(([A-Za-z0-9]+), (\"[^\"]*\"|-?[0-9]+)\\)$")
        list(APPEND KX_CONTRACT_SETTINGS "${CMAKE_MATCH_2}")
        set(KX_CONTRACT_SETTING_TYPE_${CMAKE_MATCH_2} "${CMAKE_MATCH_1}")
        string(REPLACE "\"" "" value "${CMAKE_MATCH_3}")
        set(KX_CONTRACT_SETTING_DEFAULT_${CMAKE_MATCH_2} "${value}")
    elseif(line MATCHES "^KX_SETTING_COLOR\\(([A-Za-z0-9]+), ")
        list(APPEND KX_CONTRACT_SETTINGS "${CMAKE_MATCH_1}")
        set(KX_CONTRACT_SETTING_TYPE_${CMAKE_MATCH_1} "COLOR")
    elseif(line MATCHES "^KX_LANGUAGE\\(" OR line MATCHES "^KX_CAPTION_GROUP\\(")
    elseif(line MATCHES "^KX_PROGRAM_STATE\\(" OR line MATCHES "^KX_POLICY_(BOOL|ROWS)\\(")
        # Policies: the C++ code and the templates' check read these.
    else()
        message(FATAL_ERROR "Contract.def: a line the build does not understand: ${line}")
    endif()
endforeach()
list(LENGTH KX_CLOSE_CLASSES kx_close_count)
if(NOT KX_VERSION OR NOT kx_close_count EQUAL 7 OR NOT KX_CONTRACT_TrayWindowClass OR NOT KX_CONTRACT_UpdaterWindowClass)
    message(FATAL_ERROR "Contract.def: version, the seven window classes or the tray's and updater's classes missing")
endif()

# The installer's include.
set(KX_CONTRACT_NSH "${CMAKE_BINARY_DIR}/generated/kestrix-contract.nsh")
set(nsh "; Made by the build from src/config/Contract.def: do not edit.\n")
string(APPEND nsh "!define KX_VERSION \"${KX_VERSION}\"\n")
string(APPEND nsh "!define KX_SETTINGS_KEY \"${KX_CONTRACT_SettingsKey}\"\n")
string(APPEND nsh "!define KX_RUN_KEY \"${KX_CONTRACT_RunKey}\"\n")
string(APPEND nsh "!define KX_RUN_VALUE \"${KX_CONTRACT_RunValueName}\"\n")
string(APPEND nsh "!define KX_TRAY_WINDOW_CLASS \"${KX_CONTRACT_TrayWindowClass}\"\n")
string(APPEND nsh "!define KX_UPDATER_WINDOW_CLASS \"${KX_CONTRACT_UpdaterWindowClass}\"\n")
foreach(setting IN LISTS KX_CONTRACT_SETTINGS)
    if(DEFINED KX_CONTRACT_SETTING_DEFAULT_${setting})
        string(APPEND nsh "!define KX_DEFAULT_${setting} \"${KX_CONTRACT_SETTING_DEFAULT_${setting}}\"\n")
    endif()
endforeach()
string(APPEND nsh "; Runs MACRO for the name of each settings value the programs keep.\n")
string(APPEND nsh "!macro KX_FOR_EACH_SETTING MACRO\n")
foreach(setting IN LISTS KX_CONTRACT_SETTINGS)
    string(APPEND nsh "  !insertmacro \${MACRO} \"${setting}\"\n")
endforeach()
string(APPEND nsh "!macroend\n")
string(APPEND nsh "; Closes the main program's windows in the order KestrixTray's Exit uses,\n")
string(APPEND nsh "; then the updater's and KestrixTray's own, each with the function CLOSER.\n")
string(APPEND nsh "!macro KX_CLOSE_WINDOWS CLOSER\n")
foreach(class IN LISTS KX_CLOSE_CLASSES ITEMS "${KX_CONTRACT_UpdaterWindowClass}" "${KX_CONTRACT_TrayWindowClass}")
    string(APPEND nsh "  Push \"${class}\"\n  Call \${CLOSER}\n")
endforeach()
string(APPEND nsh "!macroend\n")
file(CONFIGURE OUTPUT "${KX_CONTRACT_NSH}" CONTENT "${nsh}" @ONLY)

# The resource scripts' version.
set(KX_VERSION_HEADER_DIR "${CMAKE_BINARY_DIR}/generated")
file(CONFIGURE OUTPUT "${KX_VERSION_HEADER_DIR}/KestrixVersion.h" CONTENT
"// Made by the build from src/config/Contract.def: do not edit.
#pragma once
#define KX_VERSION_COMMAS ${KX_VERSION_COMMAS}
#define KX_VERSION_TEXT \"${KX_VERSION}\"
" @ONLY)
