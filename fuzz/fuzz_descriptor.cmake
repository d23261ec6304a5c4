if(TARGET zendal_params)
    zendal_add_fuzzer(fuzz_descriptor SOURCES fuzz_descriptor.cpp LIBS zendal_params zendal_effects zendal_core)
endif()
