# Fuzz targets of the configuration file library.
cw_add_fuzzer(fuzz_cfg_tokenize
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfgfile/fuzz_cfg_tokenize.cpp
  LIBS cw_cfgfile)
cw_add_fuzzer(fuzz_cfg_edit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfgfile/fuzz_cfg_edit.cpp
  LIBS cw_cfgfile)
