if(TARGET zendal_firmware)
    zendal_add_fuzzer(fuzz_bootloader SOURCES fuzz_bootloader.cpp support/FuzzPort.cpp support/FuzzPort.h
        LIBS zendal_firmware zendal_resources zendal_protocol zendal_link zendal_core)
endif()
