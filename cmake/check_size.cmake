# cmake -DFILE=... -DLIMIT=bytes -P check_size.cmake: fails when FILE is larger than LIMIT.
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
if(size GREATER LIMIT)
  message(FATAL_ERROR "${FILE} is ${size} bytes (${kib} KiB), over the limit of ${LIMIT} bytes")
endif()
message(STATUS "${FILE}: ${size} bytes (${kib} KiB), limit ${LIMIT}")
