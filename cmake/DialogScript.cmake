# tvx_configure_dialog_script(output): the main dialog's resource script,
# app/win32/dialog.rc.in with the program icon and the six Vibrate captions
# filled in. The captions are read from pointer/vibrations.h, where the
# console and the Linux window take them from, so that the buttons never
# say something else on Windows: "short-single" fills
# @TVX_VIBRATE_SHORT_SINGLE@. tests/app holds the script against the table.
include_guard(GLOBAL)

function(tvx_configure_dialog_script output)
  set(vibrations ${PROJECT_SOURCE_DIR}/pointer/vibrations.h)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vibrations})
  set(entry "{kVibrate[A-Za-z]+, \"([^\"]*)\", \"([a-z-]+)\"}")
  file(STRINGS ${vibrations} lines REGEX "${entry}")
  list(LENGTH lines count)
  if(NOT count EQUAL 6)
    message(FATAL_ERROR "${vibrations}: ${count} vibrations found, not six, "
                        "each on its line as {kVibrate..., \"caption\", \"word\"}")
  endif()
  foreach(line IN LISTS lines)
    string(REGEX MATCH "${entry}" ignored "${line}")
    string(TOUPPER "TVX_VIBRATE_${CMAKE_MATCH_2}" name)
    string(REPLACE "-" "_" name "${name}")
    set(${name} "${CMAKE_MATCH_1}")
  endforeach()
  set(TVX_ICON_FILE ${PROJECT_SOURCE_DIR}/http/favicon.ico)
  configure_file(${PROJECT_SOURCE_DIR}/app/win32/dialog.rc.in ${output} @ONLY)
endfunction()
