# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder (or `make deb`) packs what the install
# rules put under /usr: the three programs, the sample database, the font map, the desktop
# entry, icon and MIME association. The libraries the programs link are found by
# dpkg-shlibdeps; what they load at run time without linking it is listed here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictrova)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor <support@quillmoor.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Extracts the pictures stored in the OLE Object fields of Access databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Pictrova writes the pictures held in the OLE Object fields of Microsoft Access databases \
(.mdb, .accdb) as image files: a two-page wizard (pictrova), a command line for batch work \
(pictrova-cli) and its image converter.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Merged with the computed ones: the metafile fonts and the PDF renderer the image engine
# starts, and the Qt platform plugins the wizard loads.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-urw-base35, ghostscript")
if(TARGET pictrova)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()
include(CPack)
