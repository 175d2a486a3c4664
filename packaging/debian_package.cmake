# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder (or `make deb`) packs what the install
# rules put under /usr: the programs, the sample databases, the font map, the desktop entry, icon
# and MIME association, and what Debian asks of every package (copyright, changelog, manual
# pages) with the bash completion of pictrova-cli. The libraries the programs link are found by
# dpkg-shlibdeps; what they load at run time without linking it is listed here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictrova)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor <support@quillmoor.com>")
# The synopsis and the lines under it stay within 80 columns (cpack does not wrap them).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pictures from the OLE Object and Attachment fields of Access databases")
set(CPACK_PACKAGE_DESCRIPTION "\
Pictrova writes the pictures held in the OLE Object and Attachment fields of
Microsoft Access databases (.mdb, .accdb, password-protected ones included) as
image files: BMP, JPEG, PNG, GIF, TIFF, TGA or PCX, or every stored object as
the file it holds.
.
The package holds a two-page wizard (pictrova), a command line for batch work
over many databases (pictrova-cli) and a sample database.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian revision 1 of the release: the package's changelog (packaging/changelog, whose latest
# entry names this version) is changelog.Debian.gz, as for any packaged upstream release.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Merged with the computed ones: the metafile fonts and the PDF renderer the image engine
# starts, the libraries the core opens on use, and the Qt platform plugins the wizard loads.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-urw-base35, ghostscript")
# libgsf and libcrypto are opened on use, not linked, so dpkg-shlibdeps does not see them: the
# packages that hold the sonames the build opens them by are named here.
foreach(opened IN ITEMS GSF CRYPTO)
  get_filename_component(library_dir ${PICTROVA_${opened}_FILE} DIRECTORY)
  set(soname_file ${library_dir}/${PICTROVA_${opened}_SONAME})
  file(REAL_PATH ${soname_file} soname_target)
  execute_process(COMMAND dpkg-query -S ${soname_file} ${soname_target} OUTPUT_VARIABLE owners
                  RESULT_VARIABLE status ERROR_QUIET)
  # "libssl3:amd64: /usr/lib/x86_64-linux-gnu/libcrypto.so.3", the first line that answers.
  if(owners MATCHES "^([a-z0-9][a-z0-9.+-]*)[:,]")
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
  else()
    message(WARNING "No Debian package holds ${soname_file}: the package cannot name it")
  endif()
endforeach()
if(TARGET pictrova)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
  # The wizard's "Open folder" hands the folder to xdg-open; without it the button does nothing.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
endif()

# Debian's documents: compressed as Debian compresses them (gzip -9n: no name or time stamp in
# the file, so the same sources give the same package).
set(package_documents_dir ${PROJECT_BINARY_DIR}/package_documents)
set(manual_pages pictrova-cli pictrova-convert pictrova-emf)
if(TARGET pictrova)
  list(APPEND manual_pages pictrova)
endif()
set(compressed_documents)
foreach(source IN ITEMS changelog LISTS manual_pages)
  if(source STREQUAL changelog)
    set(input ${PROJECT_SOURCE_DIR}/packaging/changelog)
    set(output ${package_documents_dir}/changelog.Debian.gz)
  else()
    set(input ${PROJECT_SOURCE_DIR}/packaging/man/${source}.1)
    set(output ${package_documents_dir}/${source}.1.gz)
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_documents_dir}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${input} ${output}
    DEPENDS ${input}
    VERBATIM)
  list(APPEND compressed_documents ${output})
endforeach()
add_custom_target(package_documents ALL DEPENDS ${compressed_documents})

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/pictrova)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${package_documents_dir}/changelog.Debian.gz
        DESTINATION ${doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/pictrova-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
include(CPack)
