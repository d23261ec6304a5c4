if(TARGET zendal_control)
    zendal_add_fuzzer(fuzz_pedalinfo SOURCES fuzz_pedalinfo.cpp support/FuzzPort.cpp support/FuzzPort.h
        LIBS zendal_control zendal_effects zendal_link zendal_core)
endif()
