# Builds the single-file phone page: the page with its protocol script put in
# place of the marker. Run as a script:
#   cmake -DPAGE=index.html -DLOGIC=protocol.js -DOUTPUT=TVXHandvane.TXT -P inline_page.cmake
# The server keeps the page in a buffer of 100000 bytes, so a larger page fails the build.

set(marker "/* protocol.js */")
set(page_limit 100000)

file(READ "${PAGE}" page)
file(READ "${LOGIC}" logic)

string(FIND "${page}" "${marker}" marker_at)
if(marker_at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no '${marker}' line for the protocol script")
endif()
string(FIND "${logic}" "</script" closing_tag)
if(NOT closing_tag EQUAL -1)
  message(FATAL_ERROR "${LOGIC} must not contain '</script': it ends up inside a script element")
endif()

string(REPLACE "${marker}" "${logic}" page "${page}")
string(LENGTH "${page}" page_bytes)
if(page_bytes GREATER_EQUAL page_limit)
  message(FATAL_ERROR "the phone page has ${page_bytes} bytes; it must stay below ${page_limit}")
endif()

file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
