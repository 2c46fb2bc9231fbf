list(APPEND VORLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/drives.cpp
    ${CMAKE_CURRENT_LIST_DIR}/importcore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scanner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/treewalk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/typedetect.cpp)
list(APPEND VORLANE_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/importdialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/importhandler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scanprogress.cpp
    ${CMAKE_CURRENT_LIST_DIR}/typedetectdialog.cpp)
