list(APPEND VORLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings.cpp)
list(APPEND VORLANE_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/aboutdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/prompts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/splash.cpp)
