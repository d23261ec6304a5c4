if(TARGET zendal_control_ui)
    zendal_add_fuzzer(fuzz_pollpedal SOURCES fuzz_pollpedal.cpp support/FuzzPort.cpp support/FuzzPort.h
        support/OffscreenApp.cpp support/OffscreenApp.h
        LIBS zendal_control_ui zendal_params_ui zendal_link zendal_core Qt6::Widgets)
endif()
