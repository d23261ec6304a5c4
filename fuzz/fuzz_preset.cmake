if(TARGET zendal_params_logic)
    zendal_add_fuzzer(fuzz_preset SOURCES fuzz_preset.cpp
        LIBS zendal_params_logic zendal_params zendal_link zendal_core)
endif()
