# Windows resources of the plug-in: version, manifest, and later the dialog
# and the mail template. Compiled by windres from UTF-8 sources.
set(GW_RESOURCE_FILES)
if(WIN32)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  set(GW_RESOURCE_FILES ${PROJECT_SOURCE_DIR}/resources/gridwren.rc)
endif()
