#!/usr/bin/env bash
# The phone controller page in a real browser (Debian's Chromium), against one joywire-send.
#   run.sh SENDER [LAUNCHER]   (LAUNCHER runs SENDER: the wine or qemu wrapper)
#   JOYWIRE_SCREENSHOT=FILE    a screenshot of the page at phone size, for a person to look at
# puppeteer-core comes from the npm registry at the version package-lock.json pins; the suite
# itself runs in a network namespace of its own (only loopback) where one can be made.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${JOYWIRE_IN_NAMESPACE:-}" ]; then
  [ -d "$here/node_modules/puppeteer-core" ] ||
    (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
source "$here/../lib/own_network.sh" "$@"
export JOYWIRE_SEND=$1 JOYWIRE_LAUNCHER=${2:-}
exec node --test --test-reporter=spec "$here/controller.test.mjs"
