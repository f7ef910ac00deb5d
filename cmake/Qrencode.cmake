# libqrencode as the imported target Qrencode::Qrencode for every target of
# both builds. Linux uses Debian's libqrencode-dev; the Windows build links the
# static library that tools/bootstrap builds from Debian's source package.
if(WIN32)
  set(TVX_QRENCODE_MINGW_DIR "${CMAKE_SOURCE_DIR}/build/deps/qrencode-mingw"
      CACHE PATH "libqrencode built for the mingw target by tools/bootstrap")
  set(_qrencode_library "${TVX_QRENCODE_MINGW_DIR}/lib/libqrencode.a")
  if(NOT EXISTS "${_qrencode_library}")
    message(FATAL_ERROR "${_qrencode_library} is missing: run tools/bootstrap")
  endif()
  add_library(Qrencode::Qrencode STATIC IMPORTED GLOBAL)
  set_target_properties(Qrencode::Qrencode PROPERTIES
    IMPORTED_LOCATION "${_qrencode_library}"
    INTERFACE_INCLUDE_DIRECTORIES "${TVX_QRENCODE_MINGW_DIR}/include"
    # The library guards its tables with a pthread mutex: winpthreads, linked
    # statically like everything else.
    INTERFACE_LINK_LIBRARIES pthread)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET GLOBAL libqrencode)
  add_library(Qrencode::Qrencode ALIAS PkgConfig::QRENCODE)
endif()
