#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its window on the demo profiles, with
# every request going to the engine simulator (tools/engine-simulator.py) on 127.0.0.1, so that
# pressing "Go!" shows a complete run without sending anything to the internet. The demo
# profiles are copied to build/demo-profiles each time; your own profiles are not touched.
# The simulator also plays the IndexNow endpoint api.indexnow.org and the demo sites of
# tools/demo/sites over TLS, with a certificate of a demo CA made here (build/demo-tls) that
# the program is told to trust: "Fjord Kayak Tours" has a key and a sitemap, so the first
# "Go!" shows an accepted IndexNow submission; its pages are checked first (View > Page
# Checks... shows a page of every verdict), and only the ok ones are announced. It plays Google Search Console too, with a demo
# service account whose key file is written beside the copied profiles and named in the copy of
# "Example Garden Supplies": its "Go!" shows an accepted sitemap submission, and its site
# (tools/demo/sites/www.example.com) has a sitemap and an IndexNow key and announces every page
# on its first run, so that the run checks them and then asks Google's URL Inspection about
# them: View > Site Status... shows indexed and not-indexed pages.
# Extra arguments go to the program (for example --config FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
LARKSPAN_WITH_OFFICE=${LARKSPAN_WITH_OFFICE:-0} tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target larkspan

profiles=build/demo-profiles
rm -rf "$profiles"
mkdir -p "$profiles"
cp tools/demo/profiles/*.ini "$profiles/"

# The demo CA and the certificate the simulator shows for every host it plays.
tls=build/demo-tls
tools/make-demo-certs.sh "$tls"

# A few engines answer slowly or without a length, one is down, so the gauge, the status
# line and the failure handling all have something to show. Each live channel's simulator
# service prepares its own part of the demo in the copied profiles (--demo).
port_file=build/engine-simulator.port
rm -f "$port_file"
python3 tools/engine-simulator.py --port 0 --port-file "$port_file" --log build/engine-simulator.log \
  --rule 'www.lycos.com=slow:80,nolength' --rule 'www.infoseek.com=slow:40' \
  --rule 'www.google.com=delay:400' --rule 'www.switchboard.com=refuse' \
  --tls "$tls/server.pem" "$tls/server.key" --sites tools/demo/sites --demo "$profiles" >/dev/null &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$port_file" ] && break
  kill -0 "$simulator" 2>/dev/null || { echo "the engine simulator did not start" >&2; exit 1; }
  sleep 0.1
done
port=$(cat "$port_file")
echo "Engine simulator on 127.0.0.1:$port (requests logged to build/engine-simulator.log)"
# The demo's own configuration answers the first start's question (send to the catalogue too:
# every request goes to the simulator), so the demo neither asks nor writes your configuration.
demo_config=build/demo-config
mkdir -p "$demo_config/larkspan"
printf '[Run]\nCatalogue=1\n' > "$demo_config/larkspan/larkspan.ini"
XDG_CONFIG_HOME="$PWD/$demo_config" \
  build/app/larkspan --dir "$profiles" --proxy "127.0.0.1:$port" --cacert "$tls/ca.pem" "$@"
