# joywire-send --web: the controller page and its server (Boost.Beast, header-only). Only
# joywire-send uses it; the feeders stay free of dependencies.
find_path(JOYWIRE_BOOST_INCLUDE_DIR boost/beast.hpp)
set(JOYWIRE_WEB_PAGE_DIR ${PROJECT_SOURCE_DIR}/tools/send/web/page)
set(JOYWIRE_WEB_PAGE_SOURCE ${CMAKE_BINARY_DIR}/generated/controller_page.cpp)
add_custom_command(
  OUTPUT ${JOYWIRE_WEB_PAGE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DPAGE=${JOYWIRE_WEB_PAGE_DIR}/controller.html
          -DSTYLE=${JOYWIRE_WEB_PAGE_DIR}/controller.css
          -DSCRIPT=${JOYWIRE_WEB_PAGE_DIR}/controller.js
          -DOUTPUT=${JOYWIRE_WEB_PAGE_SOURCE} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedPage.cmake
  DEPENDS ${JOYWIRE_WEB_PAGE_DIR}/controller.html ${JOYWIRE_WEB_PAGE_DIR}/controller.css
          ${JOYWIRE_WEB_PAGE_DIR}/controller.js ${PROJECT_SOURCE_DIR}/cmake/EmbedPage.cmake
  COMMENT "Embedding the controller page")

if(JOYWIRE_BOOST_INCLUDE_DIR AND NOT WIN32)
  find_package(Threads REQUIRED)
  add_library(joywire_web STATIC
    tools/send/web/web_mode.cpp
    tools/send/web/web_server.cpp
    platform/posix/local_addresses.cpp
    ${JOYWIRE_WEB_PAGE_SOURCE})
  target_include_directories(joywire_web SYSTEM PRIVATE ${JOYWIRE_BOOST_INCLUDE_DIR})
  target_link_libraries(joywire_web PUBLIC joywire_sender joywire_host Threads::Threads)
  set(JOYWIRE_HAVE_WEB ON)
else()
  message(STATUS "Boost.Beast not found: joywire-send is built without --web")
  add_library(joywire_web STATIC tools/send/web/web_unavailable.cpp)
  target_link_libraries(joywire_web PUBLIC joywire_sender)
endif()
joywire_warnings(joywire_web)
