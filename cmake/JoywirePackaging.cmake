# Install layout and release packages: a zip on Windows, a tar.gz and a .deb on Linux. The
# README's pages in docs/ go beside it, as it links them.
file(GLOB joywire_docs ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
if(WIN32)
  # Everything side by side at the top of the zip; vJoyInterface.dll goes beside joywire.exe.
  install(TARGETS joywire joywire-sim joywire-send RUNTIME DESTINATION .)
  # One double-click: the feeder and the phone page together.
  install(PROGRAMS packaging/windows/joywire-phone.cmd DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md packaging/NOTICES.txt
                packaging/LICENSE-OpenSSL.txt DESTINATION .)
  install(FILES ${joywire_docs} DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(joywire_programs joywire-sim joywire-send)
  if(TARGET joywire)
    list(PREPEND joywire_programs joywire)
  endif()
  install(TARGETS ${joywire_programs} RUNTIME DESTINATION bin)
  if(TARGET joywire-datachannel)
    # Loaded by joywire-send from ../lib/joywire; it needs GStreamer, which the .deb recommends.
    install(TARGETS joywire-datachannel LIBRARY DESTINATION lib/joywire)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad (>= 1.22), gstreamer1.0-plugins-good, gstreamer1.0-nice")
  endif()
  install(FILES packaging/60-joywire-uinput.rules DESTINATION lib/udev/rules.d)
  # As services: the feeder per device, the phone page; uinput loaded at boot.
  install(FILES packaging/systemd/joywire@.service packaging/systemd/joywire-web.service
          DESTINATION lib/systemd/system)
  install(FILES packaging/joywire-modules.conf DESTINATION lib/modules-load.d
          RENAME joywire.conf)
  install(PROGRAMS packaging/joywire-feeder DESTINATION lib/joywire)
  install(PROGRAMS packaging/joywire-web-pairing DESTINATION bin)
  install(FILES README.md LICENSE CHANGELOG.md packaging/NOTICES.txt
                packaging/LICENSE-OpenSSL.txt DESTINATION share/doc/joywire)
  install(FILES ${joywire_docs} DESTINATION share/doc/joywire/docs)
  set(CPACK_GENERATOR TGZ DEB)
  # Named after the target: linux-x86_64 and amd64, linux-aarch64 and arm64.
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "joywire developers <joywire@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), passwd")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/postinst
                                        ${PROJECT_SOURCE_DIR}/packaging/deb/prerm)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackPerGenerator.cmake)
endif()
# The programs without their debugging information: that stays in build/.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME joywire)
set(CPACK_PACKAGE_VENDOR "joywire developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Turns UDP control datagrams into a virtual joystick (vJoy on Windows, uinput on Linux)")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME joywire-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/build/packages)
include(CPack)
