#!/bin/sh
# Unpacks LibreOffice's Icelandic, Macedonian and Belarusian language packs into
# DIR (default /var/tmp/recodia-prose), without installing them: their
# catalogues are the largest body of prose that Debian ships in these three
# languages, which the system's own translations cover thinly. The detector's
# model generator and the detection benchmark read them from there.
set -eu
dir=${1:-/var/tmp/recodia-prose}
mkdir -p "$dir"
cd "$dir"
apt-get download libreoffice-l10n-is libreoffice-l10n-mk libreoffice-l10n-be
for deb in libreoffice-l10n-*.deb; do dpkg-deb -x "$deb" .; done
