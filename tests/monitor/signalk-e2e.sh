#!/usr/bin/env bash
# The monitor's Signal K deltas through a real signalk-server (npm, pinned with its
# lock file, installed into the build folder): korvan-monitor --simulate serves them
# on a free port, the server reads them through a "Signal K" TCP data connection, and
# its REST API must show the battery voltage the monitor last sent.
# Usage: signalk-e2e.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
monitor=$build/tools/monitor/korvan-monitor
work=$build/tests/monitor/signalk-server
mkdir -p "$work"
# The versions package-lock.json pins, installed again only when the lock changes.
if [ ! -x "$work/node_modules/.bin/signalk-server" ] ||
   ! cmp -s "$here/signalk-server/package-lock.json" "$work/package-lock.json"; then
  echo "test-signalk: installing signalk-server (about 270 MB, once per build folder)"
  cp "$here/signalk-server/package.json" "$here/signalk-server/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi

free_port() {
  node -e "const s=require('net').createServer().listen(0,'127.0.0.1',()=>{console.log(s.address().port);s.close()})"
}
sk_port=$(free_port)
http_port=$(free_port)
config=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$config"
}
trap cleanup EXIT

# No fixed ports of its own (its TCP and NMEA 0183 servers), no mDNS, no plugins.
cat > "$config/settings.json" <<JSON
{
  "port": $http_port,
  "mdns": false,
  "interfaces": {"tcp": false, "nmea-tcp": false, "appstore": false, "plugins": false},
  "pipedProviders": [{
    "id": "korvan",
    "enabled": true,
    "pipeElements": [{
      "type": "providers/simple",
      "options": {
        "logging": false,
        "type": "SignalK",
        "subOptions": {"type": "tcp", "host": "127.0.0.1", "port": $sk_port}
      }
    }]
  }]
}
JSON
echo '{}' > "$config/package.json"

"$monitor" --simulate --signalk-port "$sk_port" --battery-id house > "$config/monitor.log" 2>&1 &
pids+=($!)
# The server's data connection and our reader connect once the monitor listens.
for _ in $(seq 1 100); do
  grep -q "Signal K deltas on" "$config/monitor.log" && break
  sleep 0.1
done
# A reader of our own, beside the server, keeps what the monitor sends.
node -e "
const c=require('net').connect($sk_port,'127.0.0.1'); let t='';
c.on('data',d=>{t+=d; require('fs').writeFileSync('$config/deltas.jsonl',t)});
c.on('error',()=>setTimeout(()=>process.exit(1),0));
" &
pids+=($!)
SKIP_ADMINUI_VERSION_CHECK=1 "$work/node_modules/.bin/signalk-server" -c "$config" \
  > "$config/server.log" 2>&1 &
pids+=($!)

url="http://127.0.0.1:$http_port/signalk/v1/api/vessels/self/electrical/batteries/house/voltage"
for _ in $(seq 1 240); do
  if answer=$(curl -sf "$url") && [ -n "$answer" ]; then
    value=$(node -e "console.log(JSON.parse(process.argv[1]).value)" "$answer")
    sent=$(node -e "
const lines=require('fs').readFileSync('$config/deltas.jsonl','utf8').trim().split('\n');
const v=[];for(const l of lines){for(const x of JSON.parse(l).updates[0].values){if(x.path==='electrical.batteries.house.voltage')v.push(x.value)}}
console.log(v.join(' '))")
    echo "test-signalk: $url -> $answer"
    if [[ " $sent " == *" $value "* ]]; then
      echo "test-signalk: passed: the server shows $value V, a value the monitor sent"
      if grep -iE "error|invalid" "$config/server.log"; then
        echo "test-signalk: FAILED: the server complained (above)"
        exit 1
      fi
      exit 0
    fi
    echo "test-signalk: FAILED: $value is none of the voltages the monitor sent ($sent)"
    exit 1
  fi
  sleep 0.5
done
echo "test-signalk: FAILED: no battery voltage at $url within 120 s"
tail -n 20 "$config/server.log" "$config/monitor.log"
exit 1
