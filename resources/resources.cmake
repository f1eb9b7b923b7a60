# Windows resources of the plug-in: version, manifest, mail template and the
# settings dialog. Compiled by windres from UTF-8 sources.
set(GW_RESOURCE_FILES)

# The notification mail template: readable UTF-8 in resources/, turned at build
# time into the exact CP932 message bytes with CR LF line ends. Windows carries
# them as resource EML 111; the native build compiles them in as an array.
set(GW_MAIL_TEMPLATE_DIR ${PROJECT_BINARY_DIR}/generated/resources)
set(GW_MAIL_TEMPLATE ${GW_MAIL_TEMPLATE_DIR}/mail_template_cp932.eml)
set(GW_MAIL_TEMPLATE_INPUTS
  ${PROJECT_SOURCE_DIR}/resources/mail_template.eml
  ${PROJECT_SOURCE_DIR}/resources/mail_template.cmake
  ${PROJECT_SOURCE_DIR}/monitor/endpoints.h)
set(GW_MAIL_TEMPLATE_COMMAND ${CMAKE_COMMAND}
  -DSOURCE=${PROJECT_SOURCE_DIR}/resources/mail_template.eml
  -DENDPOINTS=${PROJECT_SOURCE_DIR}/monitor/endpoints.h
  -DOUTPUT=${GW_MAIL_TEMPLATE})
file(MAKE_DIRECTORY ${GW_MAIL_TEMPLATE_DIR})

# The version resource reads the project's VERSION from a generated header,
# so that the DLL and the setup program cannot disagree.
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${GW_MAIL_TEMPLATE_DIR}/gridwren_version.h @ONLY)

if(WIN32)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  set(GW_RESOURCE_FILES ${PROJECT_SOURCE_DIR}/resources/gridwren.rc)
  add_custom_command(OUTPUT ${GW_MAIL_TEMPLATE}
    COMMAND ${GW_MAIL_TEMPLATE_COMMAND} -P ${PROJECT_SOURCE_DIR}/resources/mail_template.cmake
    DEPENDS ${GW_MAIL_TEMPLATE_INPUTS}
    COMMENT "Building the mail template (CP932, CR LF)")
  # windres finds "mail_template_cp932.eml" of the .rc in the generated folder.
  set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/gridwren.rc PROPERTIES
    INCLUDE_DIRECTORIES ${GW_MAIL_TEMPLATE_DIR}
    OBJECT_DEPENDS "${GW_MAIL_TEMPLATE};${PROJECT_SOURCE_DIR}/resources/gridwren.manifest;${GW_MAIL_TEMPLATE_DIR}/gridwren_version.h")
else()
  set(GW_MAIL_TEMPLATE_SOURCE ${GW_MAIL_TEMPLATE_DIR}/mail_template_data.cpp)
  add_custom_command(OUTPUT ${GW_MAIL_TEMPLATE} ${GW_MAIL_TEMPLATE_SOURCE}
    COMMAND ${GW_MAIL_TEMPLATE_COMMAND} -DEMBED=${GW_MAIL_TEMPLATE_SOURCE}
            -P ${PROJECT_SOURCE_DIR}/resources/mail_template.cmake
    DEPENDS ${GW_MAIL_TEMPLATE_INPUTS}
    COMMENT "Building the mail template (CP932, CR LF) as compiled-in bytes")
  target_sources(gridwren_core PRIVATE ${GW_MAIL_TEMPLATE_SOURCE})
endif()
