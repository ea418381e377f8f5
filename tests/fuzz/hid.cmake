# Report-descriptor parser and input-report decoder: they take bytes straight from devices.
# Only the Qt-free parser library is linked, so these build without the GUI layers.
tessel_add_fuzzer(fuzz_hid_descriptor ${CMAKE_CURRENT_LIST_DIR}/fuzz_hid_descriptor.cpp tessel_hidparse)
tessel_add_fuzzer(fuzz_hid_decoder ${CMAKE_CURRENT_LIST_DIR}/fuzz_hid_decoder.cpp tessel_hidparse)
set_target_properties(fuzz_hid_descriptor fuzz_hid_decoder PROPERTIES AUTOMOC OFF)
