# Loaders of the profiles layer: profile files with every getter and setter, the lighting name
# lists and the macro list. They link the profiles layer alone (Qt Core and jsoncpp).
tessel_add_fuzzer(fuzz_profiles_profile ${CMAKE_CURRENT_LIST_DIR}/fuzz_profiles_profile.cpp tessel_profiles)
tessel_add_fuzzer(fuzz_profiles_namelists ${CMAKE_CURRENT_LIST_DIR}/fuzz_profiles_namelists.cpp tessel_profiles)
tessel_add_fuzzer(fuzz_profiles_macrolist ${CMAKE_CURRENT_LIST_DIR}/fuzz_profiles_macrolist.cpp tessel_profiles)
tessel_add_fuzzer(fuzz_profiles_focusrules ${CMAKE_CURRENT_LIST_DIR}/fuzz_profiles_focusrules.cpp tessel_profiles)
