# The update server's answer: parsed for every row of every check. Only the widget-free core of
# the update layer is linked.
tessel_add_fuzzer(fuzz_update_answer ${CMAKE_CURRENT_LIST_DIR}/fuzz_update_answer.cpp tessel_update_core)
