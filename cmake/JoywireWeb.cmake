# joywire-send --web: the controller page and its server (Boost.Beast, header-only, with
# OpenSSL 3 for HTTPS, linked statically) and the page's address as a QR code (Nayuki's QR Code
# generator). Only joywire-send uses them; the
# feeders stay free of dependencies. Without them joywire-send is built without --web.
option(JOYWIRE_BUILD_WEB "Build joywire-send --web (Boost.Beast and qrcodegen)" ON)
find_path(JOYWIRE_BOOST_ROOT boost/beast.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)

if(WIN32)
  # Boost's headers through a folder of their own, so that nothing else of the build machine's
  # /usr/include comes in ahead of mingw-w64's headers.
  if(JOYWIRE_BOOST_ROOT)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/boost-headers)
    file(CREATE_LINK ${JOYWIRE_BOOST_ROOT}/boost ${CMAKE_BINARY_DIR}/boost-headers/boost SYMBOLIC)
    set(JOYWIRE_BOOST_INCLUDE_DIR ${CMAKE_BINARY_DIR}/boost-headers)
  endif()
  # qrcodegen from Debian's source package (scripts/deps fetches it), built with this toolchain.
  set(JOYWIRE_QRCODEGEN_SOURCE_DIR ${PROJECT_SOURCE_DIR}/build/deps/qr-code-generator
      CACHE PATH "Debian's qr-code-generator source package, unpacked")
  if(EXISTS ${JOYWIRE_QRCODEGEN_SOURCE_DIR}/cpp/qrcodegen.cpp)
    configure_file(${JOYWIRE_QRCODEGEN_SOURCE_DIR}/cpp/qrcodegen.hpp
                   ${CMAKE_BINARY_DIR}/qrcodegen-headers/qrcodegen/qrcodegen.hpp COPYONLY)
    add_library(joywire_qrcodegen STATIC ${JOYWIRE_QRCODEGEN_SOURCE_DIR}/cpp/qrcodegen.cpp)
    target_include_directories(joywire_qrcodegen SYSTEM PUBLIC
                               ${CMAKE_BINARY_DIR}/qrcodegen-headers)
  endif()
  # OpenSSL cross-built from Debian's source package (scripts/deps), linked in.
  set(JOYWIRE_OPENSSL_ROOT ${PROJECT_SOURCE_DIR}/build/deps/openssl-mingw64
      CACHE PATH "OpenSSL built for mingw-w64 by scripts/deps")
  if(EXISTS ${JOYWIRE_OPENSSL_ROOT}/lib64/libssl.a)
    set(JOYWIRE_OPENSSL_LIBRARIES ${JOYWIRE_OPENSSL_ROOT}/lib64/libssl.a
                                  ${JOYWIRE_OPENSSL_ROOT}/lib64/libcrypto.a)
  elseif(EXISTS ${JOYWIRE_OPENSSL_ROOT}/lib/libssl.a)
    set(JOYWIRE_OPENSSL_LIBRARIES ${JOYWIRE_OPENSSL_ROOT}/lib/libssl.a
                                  ${JOYWIRE_OPENSSL_ROOT}/lib/libcrypto.a)
  endif()
  set(JOYWIRE_OPENSSL_INCLUDE_DIR ${JOYWIRE_OPENSSL_ROOT}/include)
  set(JOYWIRE_WEB_PLATFORM
    platform/windows/local_addresses.cpp
    platform/windows/firewall_hint.cpp
    platform/windows/user_files.cpp
    platform/windows/feeder_process.cpp)
  set(JOYWIRE_WEB_SYSTEM_LIBRARIES ws2_32 mswsock iphlpapi crypt32 advapi32 user32)
else()
  set(JOYWIRE_BOOST_INCLUDE_DIR ${JOYWIRE_BOOST_ROOT})
  # Debian's libqrcodegencpp-dev (of the target's architecture), linked statically.
  find_path(JOYWIRE_QRCODEGEN_INCLUDE_DIR qrcodegen/qrcodegen.hpp)
  find_library(JOYWIRE_QRCODEGEN_LIBRARY NAMES libqrcodegencpp.a)
  if(JOYWIRE_QRCODEGEN_INCLUDE_DIR AND JOYWIRE_QRCODEGEN_LIBRARY)
    add_library(joywire_qrcodegen INTERFACE)
    target_include_directories(joywire_qrcodegen SYSTEM INTERFACE ${JOYWIRE_QRCODEGEN_INCLUDE_DIR})
    target_link_libraries(joywire_qrcodegen INTERFACE ${JOYWIRE_QRCODEGEN_LIBRARY})
  endif()
  # Debian's libssl-dev (of the target's architecture), linked statically.
  find_path(JOYWIRE_OPENSSL_INCLUDE_DIR openssl/ssl.h)
  find_library(JOYWIRE_SSL_LIBRARY NAMES libssl.a)
  find_library(JOYWIRE_CRYPTO_LIBRARY NAMES libcrypto.a)
  if(JOYWIRE_SSL_LIBRARY AND JOYWIRE_CRYPTO_LIBRARY)
    set(JOYWIRE_OPENSSL_LIBRARIES ${JOYWIRE_SSL_LIBRARY} ${JOYWIRE_CRYPTO_LIBRARY})
  endif()
  find_package(Threads)
  set(JOYWIRE_WEB_PLATFORM
    platform/posix/local_addresses.cpp
    platform/posix/firewall_hint.cpp
    platform/posix/user_files.cpp
    platform/posix/feeder_process.cpp)
  set(JOYWIRE_WEB_SYSTEM_LIBRARIES Threads::Threads ${CMAKE_DL_LIBS})
endif()

# The pages and their files, built into the program so that they load nothing from anywhere:
# each file in phone/page as a C++ array. The two pages by name; the rest in the table of files
# (generated/page_files.cpp), each as "URL path|file|media type|port", the port "page" (the
# controller's) or "both" (the trust page's too).
set(JOYWIRE_WEB_PAGE_DIR ${PROJECT_SOURCE_DIR}/phone/page)
# The controller's script modules (controller.js the entry), each a file of its own: the page
# names them all for preloading, so that they come at once over its few connections rather
# than import by import.
set(JOYWIRE_WEB_MODULES channel controller controls joystick layouts link notes players pointers record
                        requests rumble settings steer_by_tilt stick store tilt wire)
set(JOYWIRE_WEB_PAGE_FILES "/controller.css|controller.css|text/css|page")
foreach(module IN LISTS JOYWIRE_WEB_MODULES)
  list(APPEND JOYWIRE_WEB_PAGE_FILES "/${module}.js|${module}.js|text/javascript|page")
endforeach()
list(APPEND JOYWIRE_WEB_PAGE_FILES
  "/manifest.webmanifest|manifest.webmanifest|application/manifest+json|page"
  "/icon.svg|icon.svg|image/svg+xml|page"
  "/icon-192.png|icon-192.png|image/png|page"
  "/icon-512.png|icon-512.png|image/png|page"
  "/trust.css|trust.css|text/css|both"
  "/trust.js|trust.js|text/javascript|both")
set(JOYWIRE_WEB_PAGE_SOURCES)
function(joywire_embed name file)
  set(output ${CMAKE_BINARY_DIR}/generated/${file}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DPAGE=${JOYWIRE_WEB_PAGE_DIR}/${file}
            -DOUTPUT=${output} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedPage.cmake
    DEPENDS ${JOYWIRE_WEB_PAGE_DIR}/${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedPage.cmake
    COMMENT "Embedding ${file}")
  set(JOYWIRE_WEB_PAGE_SOURCES ${JOYWIRE_WEB_PAGE_SOURCES} ${output} PARENT_SCOPE)
endfunction()
joywire_embed(kControllerPage controller.html)
joywire_embed(kTrustPage trust.html)
set(declared "")
set(listed "")
set(index 0)
foreach(entry IN LISTS JOYWIRE_WEB_PAGE_FILES)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 path)
  list(GET entry 1 file)
  list(GET entry 2 type)
  list(GET entry 3 port)
  joywire_embed(kPageFile${index} ${file})
  string(APPEND declared "extern const char kPageFile${index}[];\nextern const std::size_t kPageFile${index}Size;\n")
  set(onTrustPort false)
  if(port STREQUAL "both")
    set(onTrustPort true)
  endif()
  string(APPEND listed "    {\"${path}\", \"${type}\", {kPageFile${index}, kPageFile${index}Size}, ${onTrustPort}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/page_files.cpp CONTENT "// Made by cmake/JoywireWeb.cmake from its table of the page's files; do not edit.
#include \"phone/controller_page.h\"

namespace joywire {

${declared}
const PageFile kPageFiles[] = {
${listed}};
const std::size_t kPageFileCount = sizeof kPageFiles / sizeof kPageFiles[0];

}  // namespace joywire
")
list(APPEND JOYWIRE_WEB_PAGE_SOURCES ${CMAKE_BINARY_DIR}/generated/page_files.cpp)

# Data channels: GStreamer's webrtcbin (Debian's gstreamer1.0-plugins-bad and gstreamer1.0-nice at
# run time), in a module of their own that joywire-send loads when a phone first offers one, so
# that it starts without GStreamer. Found by pkg-config; Debian's libgstreamer-plugins-bad1.0-dev
# depends on OpenCV's development files (a gigabyte): scripts/lib/common.sh takes its headers
# from the package alone, into build/deps/webrtc-dev, and links the runtime package's library.
option(JOYWIRE_DATA_CHANNEL "joywire-send --web with data channels (GStreamer's webrtcbin)" ON)
set(JOYWIRE_WEBRTC_DEV ${PROJECT_SOURCE_DIR}/build/deps/webrtc-dev
    CACHE PATH "libgstreamer-plugins-bad1.0-dev unpacked (its headers)")
if(WIN32)
  set(JOYWIRE_CHANNEL_SOURCES phone/channel/no_data_channel.cpp)
else()
  set(JOYWIRE_CHANNEL_SOURCES phone/channel/channel_module.cpp)
endif()
if(JOYWIRE_DATA_CHANNEL AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig)
  if(PkgConfig_FOUND)
    pkg_check_modules(JOYWIRE_GST IMPORTED_TARGET gstreamer-1.0 gstreamer-sdp-1.0 nice)
  endif()
  find_path(JOYWIRE_WEBRTC_INCLUDE_DIR gst/webrtc/webrtc.h
            PATHS /usr/include/gstreamer-1.0 ${JOYWIRE_WEBRTC_DEV}/usr/include/gstreamer-1.0)
  find_library(JOYWIRE_WEBRTC_LIBRARY NAMES gstwebrtc-1.0 libgstwebrtc-1.0.so.0)
  if(NOT (JOYWIRE_GST_FOUND AND JOYWIRE_WEBRTC_INCLUDE_DIR AND JOYWIRE_WEBRTC_LIBRARY))
    message(STATUS "joywire-send --web without data channels: GStreamer (${JOYWIRE_GST_FOUND}), "
                   "webrtc headers (${JOYWIRE_WEBRTC_INCLUDE_DIR}), libgstwebrtc "
                   "(${JOYWIRE_WEBRTC_LIBRARY})")
  endif()
endif()

if(JOYWIRE_BUILD_WEB AND JOYWIRE_BOOST_INCLUDE_DIR AND TARGET joywire_qrcodegen AND
   JOYWIRE_OPENSSL_LIBRARIES)
  # The server: Beast's templates, for plain and TLS connections, with Boost's headers compiled
  # once. Without debugging information, which for these
  # templates would double the time to compile them (and the program's size), and at -O1: the
  # server's time goes to system calls (scripts/bench web), and -O2 costs half as much again to
  # compile.
  add_library(joywire_web_server STATIC
    phone/forward/forwarder.cpp
    phone/forward/player_status.cpp
    phone/server/channel_link.cpp
    phone/server/connection_budget.cpp
    phone/server/connection_slot.cpp
    phone/server/http_session.cpp
    phone/server/http_session_tls.cpp
    phone/server/listener.cpp
    phone/server/route.cpp
    phone/server/rumble_listener.cpp
    phone/server/serve.cpp
    phone/server/shared_state.cpp
    phone/server/steering.cpp
    phone/server/tls_context.cpp
    phone/server/websocket_session_plain.cpp
    phone/server/websocket_session_tls.cpp
    ${JOYWIRE_CHANNEL_SOURCES})
  target_include_directories(joywire_web_server SYSTEM PUBLIC ${JOYWIRE_BOOST_INCLUDE_DIR}
                                                             ${JOYWIRE_OPENSSL_INCLUDE_DIR})
  target_link_libraries(joywire_web_server PUBLIC joywire_sender)
  if(NOT WIN32)
    target_link_libraries(joywire_web_server PUBLIC ${CMAKE_DL_LIBS})
  endif()
  if(JOYWIRE_GST_FOUND AND JOYWIRE_WEBRTC_INCLUDE_DIR AND JOYWIRE_WEBRTC_LIBRARY)
    add_library(joywire-datachannel MODULE phone/channel/gst_data_channel.cpp)
    set_target_properties(joywire-datachannel PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
    target_include_directories(joywire-datachannel PRIVATE ${PROJECT_SOURCE_DIR})
    target_include_directories(joywire-datachannel SYSTEM PRIVATE ${JOYWIRE_BOOST_INCLUDE_DIR}
                                                                 ${JOYWIRE_WEBRTC_INCLUDE_DIR})
    target_link_libraries(joywire-datachannel PRIVATE PkgConfig::JOYWIRE_GST
                                                      ${JOYWIRE_WEBRTC_LIBRARY})
    joywire_warnings(joywire-datachannel)
    add_dependencies(joywire_web_server joywire-datachannel)  # built with joywire-send
    set(JOYWIRE_HAVE_DATA_CHANNEL ON)
  endif()
  if(CMAKE_CXX_FLAGS MATCHES "sanitize")
    # Instrumented, -O0 finds the same faults, and compiles in a third of the time.
    target_compile_options(joywire_web_server PRIVATE -g0 -O0)
  else()
    target_compile_options(joywire_web_server PRIVATE -g0 -O1)
  endif()
  target_precompile_headers(joywire_web_server PRIVATE
    <boost/asio/ip/tcp.hpp> <boost/asio/signal_set.hpp> <boost/asio/ssl.hpp>
    <boost/asio/steady_timer.hpp> <boost/beast/core.hpp> <boost/beast/http.hpp>
    <boost/beast/ssl.hpp> <boost/beast/websocket.hpp> <boost/beast/websocket/ssl.hpp>)
  if(WIN32)
    target_compile_definitions(joywire_web_server PRIVATE _WIN32_WINNT=0x0601)
  endif()
  joywire_warnings(joywire_web_server)

  add_library(joywire_web STATIC
    phone/web_mode.cpp
    phone/forward/feeder_watch.cpp
    phone/forward/status_display.cpp
    phone/pairing/pairing.cpp
    phone/pairing/https_identity.cpp
    platform/detached_output.cpp
    phone/pairing/certificate_parts.cpp
    phone/pairing/local_authority.cpp
    phone/pairing/server_certificate.cpp
    phone/pairing/terminal_qr.cpp
    ${JOYWIRE_WEB_PLATFORM}
    ${JOYWIRE_WEB_PAGE_SOURCES})
  target_include_directories(joywire_web SYSTEM PUBLIC ${JOYWIRE_BOOST_INCLUDE_DIR}
                                                      ${JOYWIRE_OPENSSL_INCLUDE_DIR})
  target_link_libraries(joywire_web PUBLIC joywire_web_server joywire_sender joywire_host
                                           joywire_qrcodegen
                                           ${JOYWIRE_OPENSSL_LIBRARIES}
                                           ${JOYWIRE_WEB_SYSTEM_LIBRARIES})
  if(WIN32)
    # Windows 7 and later, as the rest of joywire.
    target_compile_definitions(joywire_web PRIVATE _WIN32_WINNT=0x0601)
  endif()
  set(JOYWIRE_HAVE_WEB ON)
else()
  message(STATUS "joywire-send is built without --web (JOYWIRE_BUILD_WEB=${JOYWIRE_BUILD_WEB}, "
                 "Boost.Beast: ${JOYWIRE_BOOST_INCLUDE_DIR}, qrcodegen: ${JOYWIRE_QRCODEGEN_LIBRARY}"
                 "${JOYWIRE_QRCODEGEN_SOURCE_DIR}, OpenSSL: ${JOYWIRE_OPENSSL_LIBRARIES})")
  add_library(joywire_web STATIC phone/web_unavailable.cpp)
  target_link_libraries(joywire_web PUBLIC joywire_sender)
endif()
joywire_warnings(joywire_web)
