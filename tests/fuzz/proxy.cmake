# Fuzz targets of the local proxy: the request-head parser, the content filter
# and the relay's framing of requests and answers.
cw_add_fuzzer(fuzz_proxy_head
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxy/fuzz_proxy_head.cpp
  LIBS cw_proxy)
cw_add_fuzzer(fuzz_proxy_filter
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxy/fuzz_proxy_filter.cpp
  LIBS cw_proxy)
cw_add_fuzzer(fuzz_proxy_framing
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxy/fuzz_proxy_framing.cpp
  LIBS cw_proxy)
