#!/usr/bin/env bash
# One command for a fresh machine:
#   tools/setup.sh run [video.flv]   install what is missing, build, start Quillet
#   tools/setup.sh test              install what is missing, build, run every test headless
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-run}
shift || true
case "$what" in
  run)
    "$top/tools/install-deps.sh" run
    "$top/tools/build.sh"
    exec "$top/build/quillet" "$@"
    ;;
  test)
    "$top/tools/install-deps.sh" test
    "$top/tools/build.sh"
    cd "$top/build"
    exec "$top/tools/headless.sh" ctest --output-on-failure -j 2 --timeout 300
    ;;
  *)
    echo "usage: $0 run [video.flv] | test" >&2
    exit 2
    ;;
esac
