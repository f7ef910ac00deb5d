# TVX_SANITIZE=address builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# TVX_SANITIZE=thread with ThreadSanitizer. Native builds only.
if(TVX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(TVX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TVX_SANITIZE)
  message(FATAL_ERROR "TVX_SANITIZE must be address, thread or empty")
endif()

# The fuzz build instruments every library for coverage and checks the
# standard containers' indices, so that a table index out of range is caught
# even where it would land inside a neighbouring table.
if(TVX_FUZZ)
  if(NOT TVX_SANITIZE STREQUAL "address")
    message(FATAL_ERROR "TVX_FUZZ needs TVX_SANITIZE=address")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()
