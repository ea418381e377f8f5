# The language list "Language.config": read at every start and on every language change. Only
# the widget-free core of the application shell is linked.
tessel_add_fuzzer(fuzz_app_languages ${CMAKE_CURRENT_LIST_DIR}/fuzz_app_languages.cpp tessel_app_core)
# The capture program's stream of spectrum and screen colour blocks, and the spectrum rules.
tessel_add_fuzzer(fuzz_app_recorderstream ${CMAKE_CURRENT_LIST_DIR}/fuzz_app_recorderstream.cpp tessel_app_core)
# The wlroots toplevel list as a compositor sends it.
if(TARGET tessel_app)
  tessel_add_fuzzer(fuzz_app_wlrtoplevel ${CMAKE_CURRENT_LIST_DIR}/fuzz_app_wlrtoplevel.cpp tessel_app)
endif()
