if(TARGET zendal_params_logic)
    zendal_add_fuzzer(fuzz_settings SOURCES fuzz_settings.cpp support/FuzzPort.cpp support/FuzzPort.h
        LIBS zendal_params_logic zendal_link zendal_core)
endif()
