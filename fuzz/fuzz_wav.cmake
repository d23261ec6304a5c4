if(TARGET zendal_effects)
    zendal_add_fuzzer(fuzz_wav SOURCES fuzz_wav.cpp LIBS zendal_effects zendal_core)
endif()
