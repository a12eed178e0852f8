# Fuzz target of the proxy list's address reader.
cw_add_fuzzer(fuzz_proxy_address
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxylist/fuzz_proxy_address.cpp
  LIBS cw_proxylist_core)

# Fuzz target of the judge answers' readers and the grade.
cw_add_fuzzer(fuzz_judge_answer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/proxylist/fuzz_judge_answer.cpp
  LIBS cw_proxylist_core)
