# Precompiled Qt headers: most of a translation unit's compile time is spent in
# Qt's (and GoogleTest's) headers. Three hosts compile them once each, and every
# target with the same compiler flags reuses the host's result:
#   zendal_pch_core     window-free libraries (Qt Core)
#   zendal_pch_widgets  window libraries and the programs (Qt Widgets)
#   zendal_pch_tests    test programs and their helpers (Qt Widgets, GoogleTest;
#                       in tests/CMakeLists.txt)
# GCC only: clang rejects a precompiled header whose macros differ from the
# target's, and the fuzz build (clang) compiles every header as it is.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    option(ZENDAL_PCH "Precompile the Qt headers" ON)
else()
    set(ZENDAL_PCH OFF)
endif()

set(ZENDAL_PCH_DIR ${CMAKE_CURRENT_LIST_DIR}/pch)
set(ZENDAL_PCH_CORE_HEADERS
    <QByteArray> <QDir> <QFile> <QList> <QObject> <QString> <QStringList> <QTimer> <QVector>
    <functional> <memory> <optional> <vector>)
set(ZENDAL_PCH_WIDGETS_HEADERS
    ${ZENDAL_PCH_CORE_HEADERS}
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QLabel> <QListWidget> <QPushButton> <QWidget>)

if(ZENDAL_PCH)
    add_library(zendal_pch_core STATIC ${ZENDAL_PCH_DIR}/empty.cpp)
    target_link_libraries(zendal_pch_core PRIVATE Qt6::Core)
    target_precompile_headers(zendal_pch_core PRIVATE ${ZENDAL_PCH_CORE_HEADERS})
    zendal_warnings(zendal_pch_core)  # -Wpedantic changes the predefined macros

    add_library(zendal_pch_widgets STATIC ${ZENDAL_PCH_DIR}/empty.cpp)
    target_link_libraries(zendal_pch_widgets PRIVATE Qt6::Widgets)
    target_precompile_headers(zendal_pch_widgets PRIVATE ${ZENDAL_PCH_WIDGETS_HEADERS})
    zendal_warnings(zendal_pch_widgets)
endif()

# zendal_precompiled(<target> core|widgets|tests): <target> reuses that host's headers.
function(zendal_precompiled target kind)
    if(ZENDAL_PCH)
        set_target_properties(${target} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM zendal_pch_${kind})
    endif()
endfunction()
