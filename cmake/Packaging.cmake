# The Debian package: `cpack -G DEB` in the build directory makes
# recodia_<version>_<arch>.deb from the install rules (program, manual page,
# bash completion), installed under /usr.

set(CPACK_PACKAGE_NAME "recodia")
set(CPACK_PACKAGE_VENDOR "The Recodia developers")
set(CPACK_PACKAGE_CONTACT "The Recodia developers <recodia@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert text files between Cyrillic, Turkish and West-European encodings")
set(CPACK_PACKAGE_DESCRIPTION
    "Recodia converts text files between 21 single-byte encodings: the Cyrillic\n\
code pages DOS 866 and 855, Windows 1251, KOI8-R, KOI8-U, KOI-7, ISO 8859-5,\n\
ISO-IR-111, Mac Cyrillic, Mac Ukrainian and KX, the Turkish and West-European\n\
code pages, and a Latin transliteration of Cyrillic text. It fixes line ends,\n\
writes readable substitutes or HTML entities for characters that the target\n\
lacks, and converts files in place.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "text")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# Ownership root:root and sane modes whoever builds the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The library dependencies are worked out from the binary where the Debian
# tool for it is present; otherwise the three libraries a C++ program links.
find_program(RECODIA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(RECODIA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
