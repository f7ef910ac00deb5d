# Builds the single-file phone page: the page with its protocol script and
# its English texts (the [en] section of the texts catalogue) put in place of
# their markers, and without the comments and indentation that are for the
# reader of the sources, not for the phone. Run as a script:
#   cmake -DPAGE=index.html -DLOGIC=protocol.js -DTEXTS=lang/TVXHandvane.LNG -DOUTPUT=TVXHandvane.TXT -P inline_page.cmake
# The server keeps the page in a buffer of 100000 bytes, so a larger page fails the build.

set(logic_marker "/* protocol.js */")
set(texts_marker "/* texts */")
set(page_limit 100000)

file(READ "${PAGE}" page)
file(READ "${LOGIC}" logic)
file(READ "${TEXTS}" catalogue)

foreach(marker IN ITEMS "${logic_marker}" "${texts_marker}")
  string(FIND "${page}" "${marker}" marker_at)
  if(marker_at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no '${marker}' line")
  endif()
endforeach()
string(FIND "${logic}" "</script" closing_tag)
if(NOT closing_tag EQUAL -1)
  message(FATAL_ERROR "${LOGIC} must not contain '</script': it ends up inside a script element")
endif()

# The English section: from its header to the next one, comments and blank
# lines left out.
string(REPLACE "\r" "" catalogue "${catalogue}")
string(FIND "${catalogue}" "\n[en]\n" english_at)
if(english_at EQUAL -1)
  message(FATAL_ERROR "${TEXTS} has no [en] section")
endif()
math(EXPR english_at "${english_at} + 6")
string(SUBSTRING "${catalogue}" ${english_at} -1 english)
string(FIND "${english}" "\n[" english_end)
if(NOT english_end EQUAL -1)
  string(SUBSTRING "${english}" 0 ${english_end} english)
endif()
string(REGEX REPLACE "(^|\n)[ \t]*;[^\n]*" "" english "${english}")
string(REGEX REPLACE "\n[ \t]*\n" "\n" english "${english}")
string(FIND "${english}" "</script" closing_tag)
if(NOT closing_tag EQUAL -1)
  message(FATAL_ERROR "the English texts must not contain '</script'")
endif()

string(REPLACE "${logic_marker}" "${logic}" page "${page}")
string(REPLACE "${texts_marker}" "lang=en\n${english}" page "${page}")

# Only comments that begin a line go: such a line is a comment in the
# script, the style and the markup alike.
string(REGEX REPLACE "\n[ \t]*//[^\n]*" "" page "${page}")
string(REGEX REPLACE "\n[ \t]*/[*][^*]*[*]+([^/*][^*]*[*]+)*/" "" page "${page}")
string(REGEX REPLACE "\n[ \t]*<!--([^-]|-[^-])*-->" "" page "${page}")
string(REGEX REPLACE "\n[ \t]+" "\n" page "${page}")

string(LENGTH "${page}" page_bytes)
if(page_bytes GREATER_EQUAL page_limit)
  message(FATAL_ERROR "the phone page has ${page_bytes} bytes; it must stay below ${page_limit}")
endif()

file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
