# Fuzz target of the proxy list's address reader.
cw_add_fuzzer(fuzz_proxy_address
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxylist/fuzz_proxy_address.cpp
  LIBS cw_proxylist_core)
