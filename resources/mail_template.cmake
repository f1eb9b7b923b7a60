# Builds the notification mail template from its readable UTF-8 source:
#   cmake -DSOURCE=mail_template.eml -DENDPOINTS=monitor/endpoints.h
#         -DOUTPUT=mail_template.eml [-DEMBED=mail_template_data.cpp] -P mail_template.cmake
# The result is the exact message bytes the plug-in carries: the two link
# pages filled in from the plug-in's own address constants, every line ended
# by CR LF, in code page 932. EMBED also writes those bytes as a C++ array for
# builds without Windows resources.
foreach(var SOURCE ENDPOINTS OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "mail_template.cmake: ${var} not given")
  endif()
endforeach()

# The value of `constexpr char16_t NAME[] = u"...";` in the endpoints header.
function(read_endpoint name result)
  file(STRINGS "${ENDPOINTS}" found REGEX "${name}\\[\\] = u\"[^\"]*\";")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "mail_template.cmake: ${name} is not defined once in ${ENDPOINTS}")
  endif()
  string(REGEX REPLACE ".*u\"([^\"]*)\".*" "\\1" value "${found}")
  set(${result} "${value}" PARENT_SCOPE)
endfunction()

read_endpoint(kYahooSiteUrl yahoo)
read_endpoint(kTepcoForecastUrl tepco)

file(READ "${SOURCE}" text)
string(REPLACE "@YAHOO_SITE_URL@" "${yahoo}" text "${text}")
string(REPLACE "@TEPCO_FORECAST_URL@" "${tepco}" text "${text}")
if(text MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "mail_template.cmake: unknown token ${CMAKE_MATCH_0} in ${SOURCE}")
endif()
# The source may have been checked out with either line end.
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")

set(utf8 "${OUTPUT}.utf8")
file(WRITE "${utf8}" "${text}")
find_program(ICONV iconv REQUIRED)
execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP932 "${utf8}"
                OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE failed)
file(REMOVE "${utf8}")
if(failed)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "mail_template.cmake: ${SOURCE} holds text that code page 932 cannot represent")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")

if(DEFINED EMBED)
  file(READ "${OUTPUT}" hex HEX)
  file(SIZE "${OUTPUT}" size)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Sixteen bytes a line (CMake's expressions have no repetition count).
  string(REPEAT "0x..," 16 row)
  string(REGEX REPLACE "(${row})" "\\1\n  " bytes "${bytes}")
  file(WRITE "${EMBED}.tmp"
    "// Generated from resources/mail_template.eml by resources/mail_template.cmake.\n"
    "#include <cstddef>\n\n"
    "namespace gw {\n\n"
    "extern const unsigned char kMailTemplateBytes[] = {\n  ${bytes}\n};\n"
    "extern const std::size_t kMailTemplateSize = ${size};\n\n"
    "}  // namespace gw\n")
  file(RENAME "${EMBED}.tmp" "${EMBED}")
endif()
