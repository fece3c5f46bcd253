#!/usr/bin/env bash
# Validates the desktop integration files as desktops and software centres read them: the
# launcher, the metainfo as this build wrote it, and the metainfo a packager gets by setting
# web addresses (written here under the reserved name "keelwick.invalid").
# Usage: check-desktop-files.sh SOURCE_DIR METAINFO PROJECT_VERSION CMAKE
set -euo pipefail
source_dir=$1 metainfo=$2 version=$3 cmake=$4

desktop-file-validate "$source_dir/data/keelwick.desktop"
appstreamcli validate --no-net "$metainfo"
if ! grep -q "<release version=\"$version\"" "$metainfo"; then
    echo "The metainfo has no release entry for version $version." >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
with_addresses=$work/$(basename "$metainfo")
"$cmake" -DOUTPUT="$with_addresses" -DAPP_ID="$(basename "$metainfo" .metainfo.xml)" \
    -DHOME_PAGE='https://keelwick.invalid/?page=home&lang=en' \
    -DSCREENSHOT=https://keelwick.invalid/main-window.png \
    -P "$source_dir/cmake/KeelwickMetainfo.cmake"
appstreamcli validate --no-net "$with_addresses"
if grep -q '<!-- Listed when' "$with_addresses"; then
    echo "The metainfo with web addresses leaves an element commented out." >&2
    exit 1
fi
for element in '<url type="homepage">https://keelwick.invalid/?page=home&amp;lang=en</url>' \
    '<image>https://keelwick.invalid/main-window.png</image>'; do
    if ! grep -qF "$element" "$with_addresses"; then
        echo "The metainfo with web addresses does not list: $element" >&2
        exit 1
    fi
done
