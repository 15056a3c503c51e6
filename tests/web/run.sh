#!/usr/bin/env bash
# The phone controller page in a real browser, against one joywire-send.
#   run.sh SENDER [LAUNCHER]   (LAUNCHER runs SENDER: the wine or qemu wrapper)
#   run.sh --install-only      only the npm packages, for the benchmark
#   JOYWIRE_SCREENSHOT=FILE    a screenshot of the page at phone size, for a person to look at
#   JOYWIRE_HTTPS=1            the suite over HTTPS, with what HTTPS adds
#   JOYWIRE_TESTS=PATTERN      only the tests whose names match
#   JOYWIRE_CASES=server       only the cases a build of the server can change (another build)
#   JOYWIRE_BROWSER=ENGINE     chromium (Debian's, the default), firefox (firefox-esr) or webkit
#                              (WebKitGTK's MiniBrowser, under Xvfb)
# puppeteer-core and selenium-webdriver come from the npm registry at the versions
# package-lock.json pins.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${JOYWIRE_IN_NAMESPACE:-}" ] && [ ! -d "$here/node_modules/selenium-webdriver" ]; then
  # Node.js trusts the system's certificate authorities too (a proxy's, say).
  [ -f /etc/ssl/certs/ca-certificates.crt ] &&
    export NODE_EXTRA_CA_CERTS=${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
[ "${1:-}" = --install-only ] && exit 0
# The suite runs in a network namespace of its own, whose loopback also carries a LAN address
# (10.200.0.1) and, for HTTPS, a public one; and its own mounts, where WebKitGTK's system list of
# authorities may gain the test's. wine's sockets belong to its server's namespace: one is started
# in there, and ended after.
if [ "${JOYWIRE_IN_NAMESPACE:-}" != suite ]; then
  wineserver=(env WINEPREFIX="${WINEPREFIX:-$here/../../build/wineprefix}" wineserver -k)
  [[ "${2:-}" == *wine* ]] && { "${wineserver[@]}" 2>/dev/null || true; }
  status=0
  JOYWIRE_IN_NAMESPACE=suite unshare -n -m --propagation unchanged bash "$0" "$@" || status=$?
  [[ "${2:-}" == *wine* ]] && { "${wineserver[@]}" 2>/dev/null || true; }
  exit $status
fi
# Mounts made here stay here once they are private (in a chroot, whose root is no mount point,
# they may already be: what holds is what the system's list of authorities lies on).
mount --make-rprivate / 2>/dev/null || true
[ "$(findmnt -no PROPAGATION -T /etc/ssl/certs)" = private ] && export JOYWIRE_MOUNTS=own
ip link set lo up
ip addr add 10.200.0.1/32 dev lo
[ "${JOYWIRE_HTTPS:-}" = 1 ] && ip addr add 203.0.113.7/32 dev lo
export JOYWIRE_SEND=$1 JOYWIRE_LAUNCHER=${2:-}
# The suite has 15 minutes (JOYWIRE_SUITE_SECONDS), after which it is ended and says so; the
# test reporter has named the case that was running by then.
limit=${JOYWIRE_SUITE_SECONDS:-900}
status=0
display=()
[ "${JOYWIRE_BROWSER:-}" = webkit ] && display=(xvfb-run -a -s "-screen 0 1280x1024x24")
timeout --kill-after=10 "$limit" "${display[@]}" node --test --test-reporter=spec \
  --test-name-pattern "${JOYWIRE_TESTS:-.}" "$here/controller.test.mjs" || status=$?
[ $status -eq 124 ] && echo "browser suite: not done after $limit s, ended (the last case above is the one that waited)"
exit $status
