#!/bin/bash
# Cross-builds the third-party libraries from Debian source packages into a
# prefix outside the repository.
#   scripts/bootstrap-deps.sh [i686|x86_64]      (default i686, the product)
#
# The prefix is keyed by this script and the toolchain file, so any change to a
# version or a flag below builds a fresh prefix; an unchanged key reuses the
# existing one at once. Prints the prefix path as its last line.
#
# Only the upstream .orig tarball of each source package is used. A mirror that
# lacks the Debian diff is tolerated; a missing tarball fails, naming the package.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
ARCH=${1:-i686}
case $ARCH in
    i686) TOOLCHAIN_FILE="$REPO/cmake/mingw32.cmake"; OPENSSL_TARGET=mingw ;;
    x86_64) TOOLCHAIN_FILE="$REPO/cmake/mingw64.cmake"; OPENSSL_TARGET=mingw64 ;;
    *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
CACHE_ROOT=${VELTRAY_CACHE:-/var/cache/veltray}
HOST=$ARCH-w64-mingw32
CC_X="$HOST-gcc-posix"
CXX_X="$HOST-g++-posix"
JOBS=$(nproc)

# ---------------------------------------------------------------------------
# Versions and flags: the one place they live.
#   name | source package | suite | expected upstream version (prefix match)
DEPS=(
    "openssl|openssl|bookworm|3.0."
    "curl|curl|trixie|8.14."
    "jsoncpp|libjsoncpp|bookworm|1.9."
    "lua|lua5.1|bookworm|5.1.5"
    "luacjson|lua-cjson|bookworm|2.1."
    "sodium|libsodium|bookworm|1.0.18"
    "pugixml|pugixml|bookworm|1.13"
    "googletest|googletest|bookworm|1.12."
)
OPENSSL_CONFIG=("$OPENSSL_TARGET" no-shared no-tests "--cross-compile-prefix=$HOST-")
CURL_CONFIG=(--disable-shared --enable-static --enable-websockets
    --without-libpsl --without-libidn2 --without-brotli --without-zstd
    --without-nghttp2 --without-libssh2 --without-librtmp --disable-ldap
    --disable-ldaps --disable-manual --disable-docs)
CURL_LIBS="-lcrypt32 -lws2_32 -lbcrypt"
SODIUM_CONFIG=(--disable-shared --enable-static --disable-dependency-tracking)
CMAKE_COMMON=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    "-DCMAKE_TOOLCHAIN_FILE=$TOOLCHAIN_FILE")
LUA_CFLAGS="-O2 -Wall -DLUA_ANSI"
# ---------------------------------------------------------------------------

KEY=$ARCH-$(cat "$0" "$TOOLCHAIN_FILE" "$REPO/cmake/mingw-common.cmake" | sha256sum | cut -c1-16)
PREFIX="$CACHE_ROOT/deps-$KEY"
# One bootstrap at a time: a second waits and then finds the prefix ready.
mkdir -p "$CACHE_ROOT"
exec 9>"$CACHE_ROOT/.bootstrap.lock"
if ! flock -n 9; then
    echo "[deps] waiting for another bootstrap to finish" >&2
    flock 9
fi
if [[ -f "$PREFIX/.complete" ]]; then
    echo "[deps] reusing $PREFIX" >&2
    echo "$PREFIX"
    exit 0
fi

WORK="$CACHE_ROOT/work-$KEY"
APTDIR="$CACHE_ROOT/apt"
SRC="$WORK/src"
LOGS="$WORK/logs"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$SRC" "$LOGS" "$PREFIX/include" "$PREFIX/lib"

step() { echo "[deps] $(date +%H:%M:%S) $*" >&2; }
fail() { echo "[deps] ERROR: $*" >&2; exit 1; }

# Runs a build step with its output in a log; shows the tail when it fails.
run_logged() {
    local log="$LOGS/$1.log"; shift
    if ! "$@" >>"$log" 2>&1; then
        tail -40 "$log" >&2
        fail "step failed, full log: $log"
    fi
}

# --- private APT configuration: the machine's own sources stay untouched ---
mkdir -p "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial" "$APTDIR/parts"
cat >"$APTDIR/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian trixie main
EOF
APT_OPTS=(
    -o "Dir::Etc::SourceList=$APTDIR/sources.list"
    -o "Dir::Etc::SourceParts=$APTDIR/parts"
    -o "Dir::State=$APTDIR"
    -o "Dir::State::Lists=$APTDIR/lists"
    -o "Dir::State::status=/var/lib/dpkg/status"
    -o "Dir::Cache=$APTDIR/cache"
    -o "APT::Sandbox::User=root"
    -o "Acquire::Languages=none"
)
step "updating the private source index"
run_logged apt-update apt-get "${APT_OPTS[@]}" -q update

# Downloads the .orig tarball of one source package and unpacks it into $SRC/$name.
fetch_source() {
    local name=$1 pkg=$2 suite=$3 want=$4
    local uris
    uris=$(cd "$SRC" && apt-get "${APT_OPTS[@]}" -q source --print-uris --download-only "$pkg/$suite" 2>"$LOGS/uris-$name.log") ||
        fail "package $pkg: no source in $suite ($(tail -1 "$LOGS/uris-$name.log"))"
    local orig=""
    while read -r url file size hash; do
        url=${url//\'/}
        if [[ "$file" == *.orig.tar.* && "$file" != *.asc ]]; then
            if ! /usr/lib/apt/apt-helper "${APT_OPTS[@]}" download-file "$url" "$SRC/$file" "$hash" \
                >>"$LOGS/download-$name.log" 2>&1; then
                fail "package $pkg: upstream tarball $file could not be downloaded"
            fi
            orig=$file
        fi
    done < <(grep "^'" <<<"$uris")
    [[ -n "$orig" ]] || fail "package $pkg: the mirror lists no upstream tarball"
    local version=${orig#*_}; version=${version%.orig.tar.*}
    [[ "$version" == "$want"* ]] || fail "package $pkg: version $version, expected $want*"
    mkdir -p "$SRC/$name"
    tar -xf "$SRC/$orig" -C "$SRC/$name" --strip-components=1
    step "$pkg $version unpacked"
}

count=${#DEPS[@]}
i=0
for entry in "${DEPS[@]}"; do
    IFS='|' read -r name pkg suite want <<<"$entry"
    i=$((i + 1))
    step "fetching $pkg ($i/$count)"
    fetch_source "$name" "$pkg" "$suite" "$want"
done

# --- builds ---------------------------------------------------------------
step "building OpenSSL (about 2 min)"
(
    cd "$SRC/openssl"
    run_logged openssl ./Configure "${OPENSSL_CONFIG[@]}" "--prefix=$PREFIX" "--libdir=lib" CC=gcc-posix
    run_logged openssl make -j"$JOBS" build_libs
    run_logged openssl make install_dev
)

step "building libcurl (about 1.5 min)"
(
    cd "$SRC/curl"
    run_logged curl ./configure --host=$HOST "--prefix=$PREFIX" "${CURL_CONFIG[@]}" \
        "--with-openssl=$PREFIX" --with-zlib CC="$CC_X" LIBS="$CURL_LIBS"
    run_logged curl make -j"$JOBS" -C lib
    run_logged curl make -C lib install
    run_logged curl make -C include install
)

step "building jsoncpp"
run_logged jsoncpp cmake -S "$SRC/jsoncpp" -B "$WORK/build-jsoncpp" "${CMAKE_COMMON[@]}" \
    "-DCMAKE_INSTALL_PREFIX=$PREFIX" -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON -DBUILD_STATIC_LIBS=ON \
    -DBUILD_OBJECT_LIBS=OFF
run_logged jsoncpp cmake --build "$WORK/build-jsoncpp"
run_logged jsoncpp cmake --install "$WORK/build-jsoncpp"

step "building Lua 5.1"
(
    mkdir -p "$WORK/build-lua" && cd "$WORK/build-lua"
    for c in "$SRC/lua/src"/*.c; do
        case $(basename "$c") in lua.c | luac.c | print.c) continue ;; esac
        run_logged lua "$CC_X" $LUA_CFLAGS -c "$c"
    done
    run_logged lua $HOST-ar rcs "$PREFIX/lib/liblua5.1.a" ./*.o
    mkdir -p "$PREFIX/include/lua5.1"
    cp "$SRC/lua/src"/{lua.h,luaconf.h,lualib.h,lauxlib.h} "$PREFIX/include/lua5.1/"
)

step "building lua-cjson"
(
    mkdir -p "$WORK/build-cjson" && cd "$WORK/build-cjson"
    for c in lua_cjson.c strbuf.c fpconv.c; do
        run_logged luacjson "$CC_X" -O2 -Wall "-I$PREFIX/include/lua5.1" -c "$SRC/luacjson/$c"
    done
    run_logged luacjson $HOST-ar rcs "$PREFIX/lib/libluacjson.a" ./*.o
)

step "building libsodium (about 1 min)"
(
    cd "$SRC/sodium"
    [[ -x configure ]] || run_logged sodium ./autogen.sh -s
    run_logged sodium ./configure --host=$HOST "--prefix=$PREFIX" "${SODIUM_CONFIG[@]}" CC="$CC_X"
    run_logged sodium make -j"$JOBS"
    run_logged sodium make install
)

step "building pugixml"
run_logged pugixml cmake -S "$SRC/pugixml" -B "$WORK/build-pugixml" "${CMAKE_COMMON[@]}" \
    "-DCMAKE_INSTALL_PREFIX=$PREFIX" -DPUGIXML_BUILD_TESTS=OFF
run_logged pugixml cmake --build "$WORK/build-pugixml"
run_logged pugixml cmake --install "$WORK/build-pugixml"

step "building GoogleTest"
run_logged googletest cmake -S "$SRC/googletest" -B "$WORK/build-googletest" "${CMAKE_COMMON[@]}" \
    "-DCMAKE_INSTALL_PREFIX=$PREFIX" -Dgtest_force_shared_crt=ON -DINSTALL_GTEST=ON
run_logged googletest cmake --build "$WORK/build-googletest"
run_logged googletest cmake --install "$WORK/build-googletest"

step "installing concurrentqueue headers"
CQ=$(dpkg -L libconcurrentqueue-dev | grep '/blockingconcurrentqueue.h$' | head -1)
[[ -n "$CQ" ]] || fail "package libconcurrentqueue-dev: blockingconcurrentqueue.h not found"
mkdir -p "$PREFIX/include/concurrentqueue"
cp "$(dirname "$CQ")"/*.h "$PREFIX/include/concurrentqueue/"

touch "$PREFIX/.complete"
rm -rf "$WORK"
# Prefixes of older keys of this architecture are dead weight.
find "$CACHE_ROOT" -maxdepth 1 \( -name "deps-$ARCH-*" -o -name "work-$ARCH-*" -o -name "deps-????????????????" -o -name "work-????????????????" \) \
    ! -name "deps-$KEY" -exec rm -rf {} +
step "dependencies ready in $PREFIX"
echo "$PREFIX"
