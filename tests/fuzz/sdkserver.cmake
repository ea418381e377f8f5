# The SDK server's packet reader and request decoders take whatever a network client sends.
tessel_add_fuzzer(fuzz_sdkserver_packets ${CMAKE_CURRENT_LIST_DIR}/fuzz_sdkserver_packets.cpp tessel_sdkproto)
set_target_properties(fuzz_sdkserver_packets PROPERTIES AUTOMOC OFF)
