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
