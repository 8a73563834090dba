#!/bin/sh
# Installs the build into a private prefix and builds the client library's
# example against it the way a user of the package does: through pkg-config,
# with nothing from the build tree. The example's tests then run the result.
#   build_installed_example.sh BUILD_DIR SOURCE_DIR PREFIX
set -eu
build=$1
source=$2
prefix=$3

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --exists mossvane-client
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$prefix/send_with_number" \
    "$source/examples/send_with_number.c" \
    $(pkg-config --cflags --libs mossvane-client) \
    -Wl,-rpath,"$(pkg-config --variable=libdir mossvane-client)"
# The program finds the installed library, not the build's.
ldd "$prefix/send_with_number" | grep -q "$prefix/lib/libmossvane-client.so.0"
