# The macro event conversion and image builder, fed arbitrary JSON.
tessel_add_fuzzer(fuzz_protocol_macroimage ${CMAKE_CURRENT_LIST_DIR}/fuzz_protocol_macroimage.cpp
  tessel_protocol)
