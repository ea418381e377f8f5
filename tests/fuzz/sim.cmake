# The simulator's firmware takes command reports from whatever client connects to it.
tessel_add_fuzzer(fuzz_sim_firmware ${CMAKE_CURRENT_LIST_DIR}/fuzz_sim_firmware.cpp tessel_sim)
set_target_properties(fuzz_sim_firmware PROPERTIES AUTOMOC OFF)
