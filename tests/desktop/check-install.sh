#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every file lands where desktops
# look for it, and that the file type and the launcher are registered there.
# Usage: check-install.sh CMAKE BUILD_DIR METAINFO_NAME WITH_WINDOW(0 or 1)
set -euo pipefail
cmake=$1 build=$2 metainfo=$3 with_window=$4

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" > /dev/null

expected=(
    bin/keelwick-cli
    share/applications/keelwick.desktop
    share/mime/packages/keelwick.xml
    "share/metainfo/$metainfo"
    share/icons/hicolor/scalable/apps/keelwick.svg
    share/doc/keelwick/privacy.html
    share/doc/keelwick/README.md
)
if [ "$with_window" = 1 ]; then
    expected+=(bin/keelwick)
fi
status=0
for file in "${expected[@]}"; do
    if [ ! -f "$prefix/$file" ]; then
        echo "Not installed: $file" >&2
        status=1
    fi
done

if ! grep -qxF '50:application/x-idraw:*.idraw' "$prefix/share/mime/globs2" ||
    ! grep -qxF 'application/x-idraw application/zip' "$prefix/share/mime/subclasses"; then
    echo "The MIME database of the prefix does not know *.idraw as a zip archive." >&2
    status=1
fi
if ! grep -qxF 'application/x-idraw=keelwick.desktop;' "$prefix/share/applications/mimeinfo.cache"; then
    echo "The desktop database of the prefix does not open *.idraw with Keelwick." >&2
    status=1
fi
# The installed metainfo and launcher must find each other.
if ! report=$(appstreamcli validate-tree --no-net "$prefix"); then
    echo "$report" >&2
    status=1
fi
exit $status
