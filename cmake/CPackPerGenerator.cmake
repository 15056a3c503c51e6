# The .deb installs under /usr; the tar.gz unpacks to bin/, lib/ and share/ in its own folder.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
else()
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()
