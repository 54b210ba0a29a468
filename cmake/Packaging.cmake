# The Debian package: `cpack -G DEB` in the build directory makes
# recodia_<version>_<arch>.deb from the install rules (program, manual page,
# bash completion), installed under /usr.

set(CPACK_PACKAGE_NAME "recodia")
set(CPACK_PACKAGE_VENDOR "The Recodia developers")
set(CPACK_PACKAGE_CONTACT "The Recodia developers <recodia@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert text between UTF-8 and Cyrillic, Turkish, West-European code pages")
# encodings: generated from the registry by tools/gen_docs.cpp; do not edit
set(CPACK_PACKAGE_DESCRIPTION
    "Recodia converts text files between UTF-8 and the Cyrillic, Turkish and\n\
West-European code pages. It knows 26 encodings: 5 Unicode forms, 20\n\
single-byte code pages and a Latin transliteration of Cyrillic: Unicode\n\
(UTF-8, UTF-16LE, UTF-16BE, UTF-32LE, UTF-32BE), Cyrillic (KX, CP866,\n\
Windows-1251, KOI8-R, CP855, MacCyrillic, ISO-8859-5, KOI-7, ISO-IR-111,\n\
KOI8-U, MacUkrainian), Turkish (Windows-1254, CP857, MacTurkish,\n\
ISO-8859-9), West-European (CP850, Windows-1252, ISO-8859-1,\n\
ISO-8859-15, MacRoman), and, as a target only, the transliteration. It\n\
detects the source encoding, fixes line ends, writes readable\n\
substitutes or HTML entities for characters that the target lacks, and\n\
converts files in place without ever making the only copy worse.")
# end of encodings
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
