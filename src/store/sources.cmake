list(APPEND VORLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/compaction.cpp
    ${CMAKE_CURRENT_LIST_DIR}/database.cpp
    ${CMAKE_CURRENT_LIST_DIR}/example.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filecopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/passwords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/schema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
list(APPEND VORLANE_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cataloghandler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/passworddialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/savecatalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/waitcursor.h)
