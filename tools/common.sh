# Shared by run.sh and test.sh: installs what a fresh Debian 12 machine lacks
# and configures/builds a build tree. Sourced, not run.

# Debian packages the build and the tests need. --no-install-recommends keeps
# the install small (recommends would pull in a desktop's worth).
packages=(build-essential cmake ninja-build qtbase5-dev qttools5-dev-tools qttools5-dev
          nlohmann-json3-dev libbenchmark-dev fonts-dejavu-core
          libaravis-dev libusb-1.0-0-dev aravis-tools-cli aravis-tools ccache)
# The fuzz target needs clang's libFuzzer.
fuzz_packages=(clang libclang-rt-14-dev)
# The Debian package: cpack finds its dependencies with dpkg-shlibdeps,
# which needs file; the tests check it with lintian too.
package_packages=(dpkg-dev file)

# ensure_packages [PACKAGE...]: the build's packages, or the ones named.
ensure_packages() {
    local wanted=("${packages[@]}")
    [ $# -gt 0 ] && wanted=("$@")
    local missing=()
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# build_tree DIR [cmake options...]: configures DIR once, then builds only
# what changed.
build_tree() {
    local dir=$1
    shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        # Compiles land in ccache's store: a fresh checkout builds its three
        # trees from there when the sources did not change.
        local launcher=()
        command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    fi
    # Paths below the checkout count as relative, so that a checkout in
    # another folder finds the same compiles in the cache.
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
    # $target may name several targets, separated by blanks.
    # shellcheck disable=SC2086
    cmake --build "$dir" -j "$(nproc)" ${target:+--target $target}
}
