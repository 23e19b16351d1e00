#!/usr/bin/env bash
# Measures the page's main actions on both backends (the simulator, and the
# same camera through Aravis's fake GigE Vision camera on loopback) and
# rewrites the table in docs/aravis.md. Takes about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
ensure_packages
target=bench_backends build_tree build
source=$PWD
. tests/gige/fakecamera.sh
trap stop_fake EXIT
start_fake
runtime=$(mktemp -d)
table=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime build/bin/bench_backends --address "$address" "$@")
rm -rf "$runtime"
stop_fake
python3 - "$table" docs/aravis.md <<'PY'
import sys
table, path = sys.argv[1], sys.argv[2]
begin, end = "<!-- backends -->", "<!-- /backends -->"
text = open(path, encoding="utf-8").read()
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(path, "w", encoding="utf-8").write(head + begin + "\n" + table.strip() + "\n" + end + tail)
PY
echo "docs/aravis.md updated"
