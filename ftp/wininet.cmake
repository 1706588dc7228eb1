# The WinInet-shaped API the session calls, a thin layer over the engine.
add_library(orvex_wininet STATIC ${CMAKE_CURRENT_LIST_DIR}/wininet.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wininet_security.cpp)
target_include_directories(orvex_wininet PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvex_wininet PUBLIC orvex_inet orvex_win32)
