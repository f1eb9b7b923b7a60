# The user's guide, docs/guide.ja.md, as an HTML page with its pictures:
# converted by cmark (Debian package cmark, the CommonMark reference
# library's program) through tools/guide.py, which first checks that the
# guide names only pictures, options, switches, values and texts that the
# program has. A renamed option thus fails the build.
include_guard(GLOBAL)

find_program(GW_CMARK cmark)
if(NOT GW_CMARK)
  message(FATAL_ERROR "cmark not found (Debian package cmark): the guide docs/guide.ja.md cannot be built")
endif()
find_program(GW_PYTHON python3 REQUIRED)

# What the guide is made from and checked against.
file(GLOB GW_GUIDE_PICTURES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png)
set(GW_GUIDE_INPUTS ${PROJECT_SOURCE_DIR}/docs/guide.ja.md ${PROJECT_SOURCE_DIR}/tools/guide.py ${GW_GUIDE_PICTURES})
foreach(source bridge/options.cpp installer/strings.nsh installer/shortcuts.nsh settings/settings_store.h
        dialog/dialog_model.cpp resources/gridwren.rc monitor/scheduling.cpp resources/mail_template.eml
        plugin/plugin_info.h bridge/serving/status_page.cpp bridge/serving/outlook_lines.cpp
        bridge/charts/chart_layout.cpp bridge/upstream/poller.cpp bridge/reading/operator_file.cpp)
  list(APPEND GW_GUIDE_INPUTS ${PROJECT_SOURCE_DIR}/${source})
endforeach()

# Writes OUT_DIR/index.html and the pictures; with EMBED also a C++ table
# of them for the bridge.
function(gw_build_guide out_dir)
  cmake_parse_arguments(arg "" "EMBED" "" ${ARGN})
  set(outputs ${out_dir}/index.html)
  set(embed)
  if(arg_EMBED)
    list(APPEND outputs ${arg_EMBED})
    set(embed --embed ${arg_EMBED})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${GW_PYTHON} ${PROJECT_SOURCE_DIR}/tools/guide.py --cmark ${GW_CMARK} --out-dir ${out_dir} ${embed}
    DEPENDS ${GW_GUIDE_INPUTS}
    COMMENT "Checking the guide and building it with cmark"
    VERBATIM)
endfunction()
