# zlib, which compresses the phone page once when it loads, as the imported
# target ZLIB::ZLIB. Linux uses Debian's zlib1g-dev; the Windows build links
# the static library of Debian's libz-mingw-w64-dev, as it links everything
# statically.
if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
