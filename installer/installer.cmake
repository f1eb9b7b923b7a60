# The setup program Gridwren-Setup-<version>.exe, written by makensis beside
# the DLL and the bridge it installs (Windows build only; Debian package
# nsis). Its version is the project's VERSION, as in the DLL's resource.
find_program(GW_MAKENSIS makensis)
if(NOT GW_MAKENSIS)
  message(WARNING "makensis not found (Debian package nsis): the setup program is not built")
  return()
endif()
if(NOT TARGET gridwren_bridge_win)
  message(STATUS "No Windows bridge in this build: the setup program is not built")
  return()
endif()
# The bridge comes from a build of its own (bridge/windows.cmake), which
# copies its program into this build's bin/.
set(GW_BRIDGE_EXE ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/gridwren-bridge.exe)

set(GW_SETUP ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Gridwren-Setup-${PROJECT_VERSION}.exe)
# The guide it installs, as an HTML page with its pictures.
include(${PROJECT_SOURCE_DIR}/docs/guide.cmake)
set(GW_GUIDE_DIR ${PROJECT_BINARY_DIR}/guide)
gw_build_guide(${GW_GUIDE_DIR})
set(GW_INSTALLER_DIR ${PROJECT_SOURCE_DIR}/installer)
file(GLOB GW_INSTALLER_SCRIPTS CONFIGURE_DEPENDS ${GW_INSTALLER_DIR}/*.nsi ${GW_INSTALLER_DIR}/*.nsh)
# A new guide makes a new setup program too.
list(APPEND GW_INSTALLER_SCRIPTS ${GW_GUIDE_DIR}/index.html)
add_custom_command(OUTPUT ${GW_SETUP}
  COMMAND ${GW_MAKENSIS} -V2 -INPUTCHARSET UTF8
    -DVERSION=${PROJECT_VERSION}
    -DVERSION_QUAD=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0
    -DDLL=$<TARGET_FILE:gridwren>
    -DBRIDGE=${GW_BRIDGE_EXE}
    -DGUIDE=${GW_GUIDE_DIR}
    -DREADME=${PROJECT_SOURCE_DIR}/README.md
    -DLICENCE=${PROJECT_SOURCE_DIR}/LICENSE
    -DOUTFILE=${GW_SETUP}
    ${GW_INSTALLER_DIR}/gridwren.nsi
  DEPENDS gridwren gridwren_bridge_win ${GW_BRIDGE_EXE} ${GW_INSTALLER_SCRIPTS} ${PROJECT_SOURCE_DIR}/README.md
          ${PROJECT_SOURCE_DIR}/LICENSE
  WORKING_DIRECTORY ${GW_INSTALLER_DIR}
  COMMENT "Building the setup program Gridwren-Setup-${PROJECT_VERSION}.exe"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${GW_SETUP})
