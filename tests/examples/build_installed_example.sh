#!/bin/sh
# Installs the build into a private prefix and builds the client library's
# example against it the way a user of the package does: through pkg-config,
# with nothing from the build tree. The example's tests then run the result.
#   build_installed_example.sh BUILD_DIR SOURCE_DIR PREFIX [EXTRA_CFLAGS]
# EXTRA_CFLAGS: the sanitizers the library was built with, if any.
set -eu
build=$1
source=$2
prefix=$3
extra=${4:-}

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
# The library folder is lib, or lib/<multiarch triplet> where there is one.
PKG_CONFIG_PATH=$(dirname "$(find "$prefix/lib" -name mossvane-client.pc)")
export PKG_CONFIG_PATH
pkg-config --exists mossvane-client
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -Werror $extra -o "$prefix/send_with_number" \
    "$source/examples/send_with_number.c" \
    $(pkg-config --cflags --libs mossvane-client) \
    -Wl,-rpath,"$(pkg-config --variable=libdir mossvane-client)"
# The program finds the installed library, not the build's.
ldd "$prefix/send_with_number" |
    grep -q "$(pkg-config --variable=libdir mossvane-client)/libmossvane-client.so.0"
# "man 3" finds a page for every function the header declares.
sed -n 's/^MOSSVANE_API .*\(mossvane_[a-z_]*\)(.*/\1/p' "$source/include/mossvane/client.h" |
    while read -r function; do man -M "$prefix/share/man" -w 3 "$function" >/dev/null; done
