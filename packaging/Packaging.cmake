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
The package holds the tavrix command, the Folvane window, the engine library and the Python\n\
package tavrix (import tavrix).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The engine loads the text libraries when a stamp first needs them instead of linking them, so
# the scan of linked libraries above does not find them. The versions are the first to have
# every function the engine calls.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libharfbuzz0b (>= 5.1.0), libharfbuzz-subset0 (>= 6.0.0), libfribidi0 (>= 1.0.0), \
libfontconfig1 (>= 2.12.6), libfreetype6 (>= 2.3.9)")
# The Python package's extension is built for the Python of the build machine.
if(TAVRIX_PYTHON_EXECUTABLE)
  execute_process(COMMAND ${TAVRIX_PYTHON_EXECUTABLE} -c
                          "import sys; print('%d.%d' % sys.version_info[:2])"
                  OUTPUT_VARIABLE tavrix_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(tavrix_python_version MATCHES "^3\\.([0-9]+)$")
    math(EXPR tavrix_python_next "${CMAKE_MATCH_1} + 1")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "python3 (>= ${tavrix_python_version}~), python3 (<< 3.${tavrix_python_next})")
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
