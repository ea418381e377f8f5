# The macro editor's reading of macro files, fed arbitrary bytes.
tessel_add_fuzzer(fuzz_editors_macrofile ${CMAKE_CURRENT_LIST_DIR}/fuzz_editors_macrofile.cpp tessel_editors)
