# `make package`: a Debian package of the programs, libraries and manual pages, installed under
# /usr. Installing it registers the engine for every user; removing it takes the registration out.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrix)
set(CPACK_PACKAGE_VENDOR "Tavrix developers")
set(CPACK_PACKAGE_CONTACT "Tavrix developers <maintainers@users.noreply.c-seed-e3ebc481.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "stamp page numbers, Bates numbers and labels onto PDF files")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavrix copies every object of a PDF file byte for byte and adds a small stamp to each\n\
selected page: page numbers, Bates numbers or a short label, in any font, colour and place.\n\
The package holds the tavrix command, the Folvane window and the engine library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
