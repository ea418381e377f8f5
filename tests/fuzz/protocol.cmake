# The macro event conversion and image builder, fed arbitrary JSON; the simulator's image parser
# checks what the builder made.
tessel_add_fuzzer(fuzz_protocol_macroimage ${CMAKE_CURRENT_LIST_DIR}/fuzz_protocol_macroimage.cpp
  tessel_protocol tessel_sim)
