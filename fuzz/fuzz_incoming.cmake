if(TARGET zendal_control)
    zendal_add_fuzzer(fuzz_incoming SOURCES fuzz_incoming.cpp support/FuzzPort.cpp support/FuzzPort.h
        LIBS zendal_params_logic zendal_control zendal_link zendal_core)
endif()
