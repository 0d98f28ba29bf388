# Copies SRC to DST unless DST already exists (a user's own file is never overwritten).
if(NOT EXISTS "${DST}")
  if(NOT EXISTS "${SRC}")
    message(FATAL_ERROR "${SRC} is missing: install Debian's opense-basic package, or put a 48K ROM image at ${DST}")
  endif()
  file(COPY_FILE "${SRC}" "${DST}")
endif()
