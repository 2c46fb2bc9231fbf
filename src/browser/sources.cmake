list(APPEND VORLANE_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/contentstore.cpp)
list(APPEND VORLANE_GUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/categoryedit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/categorytree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/contents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/contentedit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/discopen.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entrymodel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filelistview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filenotes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notes.cpp)
