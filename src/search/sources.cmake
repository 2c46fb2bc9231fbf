list(APPEND VORLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/searchengine.cpp)
list(APPEND VORLANE_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/searchresults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/searchwindow.cpp)
