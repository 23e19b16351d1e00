#!/usr/bin/env bash
# The Debian package and an installed prefix, tried where a user has them:
# outside the build tree, from another folder, on Qt's offscreen platform.
#
#   package_test.sh deb      BUILD OUT VERSION  packs BUILD with cpack into OUT/deb
#   package_test.sh unpacked BUILD OUT VERSION  unpacks that package (dpkg-deb -x) and runs it
#   package_test.sh lintian  BUILD OUT VERSION  lintian on that package: no errors
#   package_test.sh prefix   BUILD OUT VERSION  cmake --install into a temporary prefix and runs it
#
# Nothing is installed on the system. Exits with 77 (skipped) when a tool
# the mode needs is missing; ./test.sh installs them.
set -euo pipefail
mode=$1 build=$2 out=$3 version=$4

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

need() {
    command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

the_deb() {
    local debs=("$out"/deb/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $out/deb, found: ${debs[*]}"
    echo "${debs[0]}"
}

# check_viewer PREFIX: the viewer under PREFIX finds its plug-in, presets,
# translations and cameras through its own folder, none in the build tree.
check_viewer() {
    local prefix=$1
    local viewer=$prefix/bin/camera-viewer
    [ -L "$viewer" ] || fail "$viewer is not a link to the program"
    local app
    app=$(dirname "$(readlink -f "$viewer")")
    case $app in
    "$(readlink -f "$prefix")"/*) ;;
    *) fail "$viewer leads to $app, outside $prefix" ;;
    esac

    export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    cd "$work"

    local said
    said=$("$viewer" --version)
    [ "$said" = "camera-viewer $version" ] || fail "--version says '$said', the package is $version"

    said=$("$viewer" --check) || fail "--check ended with $?"
    echo "$said"
    grep -qxF "libtabextensionadvtrigger.so TabExtensionPlugin TabExtensionInterface result 0" <<<"$said" \
        || fail "the plug-in was not loaded or refused the bundled camera"

    # The page picks the family's presets file, else the generic one; both
    # are links into the shared data.
    local camera presets
    for camera in full:AdvTrigger_VistaPro_Presets.json basic:AdvTrigger_Presets.json; do
        presets=${camera#*:}
        said=$("$viewer" --check-presets --camera "$app/cameras/${camera%%:*}.json") \
            || fail "--check-presets on the ${camera%%:*} camera ended with $?"
        [ "$(head -1 <<<"$said")" = "Presets file: $app/plugins/$presets" ] \
            || fail "the ${camera%%:*} camera's presets: $(head -1 <<<"$said")"
    done

    # The plug-in opens qm/<name>_<locale>.qm relative to the viewer's folder,
    # the viewer its own there too: every translation the build made.
    local qm
    for qm in "$build"/bin/qm/*.qm; do
        cmp -s "$qm" "$app/qm/$(basename "$qm")" || fail "qm/$(basename "$qm") is missing or differs from the build's"
    done

    LANG=de_DE.UTF-8 "$viewer" --screenshot "$work/shot.png" || fail "--screenshot ended with $?"
    [ "$(head -c 8 "$work/shot.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the screenshot is no PNG"
}

case $mode in
deb)
    need dpkg-shlibdeps
    need file
    rm -rf "$out/deb"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out/deb" >"$work/cpack.log" 2>&1 \
        || { cat "$work/cpack.log"; fail "cpack ended with an error"; }
    deb=$(the_deb)
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), project $version"
    depends=$(dpkg-deb -f "$deb" Depends)
    grep -q "libqt5widgets5" <<<"$depends" || fail "dpkg-shlibdeps found no Qt in: $depends"
    echo "$deb: $(stat -c %s "$deb") bytes, installed $(dpkg-deb -f "$deb" Installed-Size) KiB"
    echo "Depends: $depends"
    dpkg-deb -c "$deb" | awk '{ printf "%9s %s %s %s\n", $3, $6, $7, $8 }'
    ;;
unpacked)
    deb=$(the_deb)
    dpkg-deb -x "$deb" "$work/root"
    check_viewer "$work/root/usr"
    desktop=$work/root/usr/share/applications/camera-viewer.desktop
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    ls "$work"/root/usr/share/icons/hicolor/*/apps/"$icon".png >/dev/null || fail "no icon named $icon"
    [ "$(sed -n 's/^Exec=//p' "$desktop")" = camera-viewer ] || fail "the desktop entry does not start camera-viewer"
    ;;
lintian)
    need lintian
    deb=$(the_deb)
    # Errors fail; warnings are shown for whoever reads the log.
    status=0
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || status=$?
    grep -v 'running with root privileges' "$work/lintian.log" || true
    [ $status -eq 0 ] || fail "lintian found errors in $deb"
    ;;
prefix)
    # A blank in the prefix catches a path that lost its quotes.
    cmake --install "$build" --prefix "$work/a prefix" >"$work/install.log" || { cat "$work/install.log"; exit 1; }
    check_viewer "$work/a prefix"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "package_test $mode: passed"
