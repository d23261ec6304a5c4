if(TARGET zendal_params_ui)
    zendal_add_fuzzer(fuzz_panel SOURCES fuzz_panel.cpp support/FuzzPort.cpp support/FuzzPort.h
        support/OffscreenApp.cpp support/OffscreenApp.h
        LIBS zendal_params_ui zendal_params_logic zendal_params zendal_shell_ui zendal_link
        zendal_core Qt6::Widgets)
endif()
