#!/bin/bash
# Installs what is missing, then builds the Debian package of wdog into
# build-package/ and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
cmake --build build-package -j "$(nproc)" --target wdog compressed_docs > /dev/null
(cd build-package && cpack -G DEB > /dev/null)
ls "$PWD"/build-package/wdog_*.deb
