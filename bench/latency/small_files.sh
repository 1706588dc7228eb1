#!/bin/bash
# Many small files up (and down) through orvex, curl and lftp in one run, as
# ratios of wall time; optionally over a real round-trip time.
#
#   bench/latency/small_files.sh [--rtt-ms 20] [--files 50] [--size 4096]
#                                [--runs 3] [--down] [--orvex PATH]
#
# --rtt-ms 0 runs on loopback. Otherwise (as root) three network namespaces
# are made: a client (198.18.1.2), a router and a server (198.18.2.2); the
# router sends every packet through tun_delay.py, half the round trip each
# way. The server is pyftpdlib (Debian's python3-pyftpdlib) in the server
# namespace; orvex, curl and lftp run in the client namespace. Each case runs
# --runs times into an emptied server folder; the median is printed, and its
# ratio to lftp mirror with one and with four transfers.
#
# Cases: orvex sync (--parallel 1 and 4, and 1 with --no-temp-copy, which
# saves the rename of each upload), curl (one connection, all files named in
# one command), lftp mirror -R (--parallel=1 and 4).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
rtt=20 files=50 size=4096 runs=3 down=0 orvex="$repo/build/release/bin/orvex"
while [ $# -gt 0 ]; do
  case $1 in
    --rtt-ms) rtt=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --down) down=1; shift ;;
    --orvex) orvex=$2; shift 2 ;;
    *) echo "usage: $0 [--rtt-ms MS] [--files N] [--size BYTES] [--runs N] [--down] [--orvex PATH]" >&2; exit 2 ;;
  esac
done
for tool in curl lftp /usr/bin/python3 "$orvex"; do
  command -v "$tool" >/dev/null || { echo "small_files: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/orvex-small-files.XXXXXX)
tag=ol$$  # namespace names of this run
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  # The server was started through a shell function, so $! is that subshell;
  # the Python process itself is found by its script.
  pkill -f -- "$work/server.py" 2>/dev/null || true
  if [ "$rtt" != 0 ]; then
    [ -s "$work/delay.pid" ] && kill "$(cat "$work/delay.pid")" 2>/dev/null || true
    for side in cli rtr srv; do ip netns del "$tag-$side" 2>/dev/null || true; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$rtt" = 0 ]; then
  server_host=127.0.0.1
  on_client() { "$@"; }
  on_server() { "$@"; }
else
  [ "$(id -u)" = 0 ] || { echo "small_files: --rtt-ms needs root (network namespaces)" >&2; exit 1; }
  for side in cli rtr srv; do ip netns add "$tag-$side"; ip -n "$tag-$side" link set lo up; done
  ip link add "${tag}c" netns "$tag-cli" type veth peer name r0 netns "$tag-rtr"
  ip link add "${tag}s" netns "$tag-srv" type veth peer name r1 netns "$tag-rtr"
  ip -n "$tag-cli" addr add 198.18.1.2/24 dev "${tag}c"; ip -n "$tag-cli" link set "${tag}c" up
  ip -n "$tag-cli" route add default via 198.18.1.1
  ip -n "$tag-srv" addr add 198.18.2.2/24 dev "${tag}s"; ip -n "$tag-srv" link set "${tag}s" up
  ip -n "$tag-srv" route add default via 198.18.2.1
  ip -n "$tag-rtr" addr add 198.18.1.1/24 dev r0; ip -n "$tag-rtr" link set r0 up
  ip -n "$tag-rtr" addr add 198.18.2.1/24 dev r1; ip -n "$tag-rtr" link set r1 up
  for setting in net.ipv4.ip_forward=1 net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0; do
    ip netns exec "$tag-rtr" sysctl -qw "$setting"
  done
  ip netns exec "$tag-rtr" /usr/bin/python3 "$here/tun_delay.py" delay0 "$(awk "BEGIN{print $rtt/2}")" \
    >"$work/delay.log" 2>&1 </dev/null &
  echo $! >"$work/delay.pid"
  for _ in $(seq 50); do ip -n "$tag-rtr" link show delay0 >/dev/null 2>&1 && break; sleep 0.1; done
  ip netns exec "$tag-rtr" sysctl -qw net.ipv4.conf.delay0.rp_filter=0
  ip -n "$tag-rtr" link set delay0 up
  # Whatever arrives from either side goes through the delay; what comes
  # back out of it is routed on to the other side.
  ip -n "$tag-rtr" route add default dev delay0 table 100
  ip -n "$tag-rtr" rule add iif r0 lookup 100 pref 100
  ip -n "$tag-rtr" rule add iif r1 lookup 100 pref 101
  server_host=198.18.2.2
  on_client() { ip netns exec "$tag-cli" "$@"; }
  on_server() { ip netns exec "$tag-srv" "$@"; }
  if command -v ping >/dev/null; then echo "round trip: $(on_client ping -c 3 -q "$server_host" | tail -1)"; fi
fi

user=bench password=bench$$
mkdir -p "$work/remote" "$work/local" "$work/state"
chmod 777 "$work/remote"
for index in $(seq 1 "$files"); do head -c "$size" /dev/urandom >"$work/local/file$index.dat"; done
cat >"$work/server.py" <<PYTHON
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
authorizer = DummyAuthorizer()
authorizer.add_user("$user", "$password", "$work/remote", perm="elradfmwMT")
FTPHandler.authorizer = authorizer
server = FTPServer(("$server_host", 0), FTPHandler)
open("$work/port.new", "w").write(str(server.socket.getsockname()[1]))
import os; os.replace("$work/port.new", "$work/port")
server.serve_forever()
PYTHON
on_server /usr/bin/python3 "$work/server.py" >"$work/server.log" 2>&1 </dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
url="ftp://$server_host:$port"

export ORVEX_CLASS_REGISTRY="$work/state/classes.registry" XDG_CONFIG_HOME="$work/state" XDG_DATA_HOME="$work/state"
export XDG_STATE_HOME="$work/state" HOME="$work/state"
"$orvex" register >/dev/null
printf 'set ftp:ssl-allow no\nset net:max-retries 1\nset cmd:fail-exit yes\n' >"$work/lftprc"
curl_list=$(cd "$work/local" && ls | paste -sd, -)

declare -A median
run_case() {  # NAME DIRECTION COMMAND...
  local name=$1 direction=$2; shift 2
  local times=()
  for _ in $(seq "$runs"); do
    if [ "$direction" = up ]; then
      find "$work/remote" -mindepth 1 -delete
    else
      rm -rf "$work/fetched"
      mkdir -p "$work/fetched"
      find "$work/remote" -mindepth 1 -delete
      cp "$work/local"/* "$work/remote/"
      chmod 666 "$work/remote"/*
    fi
    local start end
    start=$(date +%s.%N)
    if ! "$@" >"$work/case.log" 2>&1; then
      echo "$name: FAILED"; tail -5 "$work/case.log"; return
    fi
    end=$(date +%s.%N)
    local check=$work/remote
    [ "$direction" = down ] && check=$work/fetched
    local count
    count=$(find "$check" -type f -name 'file*.dat' | wc -l)
    if [ "$count" != "$files" ]; then echo "$name: only $count of $files files arrived"; tail -5 "$work/case.log"; return; fi
    times+=("$(awk "BEGIN{print $end-$start}")")
  done
  median[$name]=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}')
}

orvex_sync() {  # DIRECTION PARALLEL [OPTION...]
  local side=$work/local direction=$1 parallel=$2
  shift 2
  [ "$direction" = down ] && side=$work/fetched
  on_client "$orvex" sync --"$direction" --parallel "$parallel" "$@" --user "$user" --password-stdin "$side" "$url/" \
    <<<"$password"
}
lftp_mirror() {  # DIRECTION PARALLEL
  if [ "$1" = up ]; then
    on_client lftp -c "source $work/lftprc; open -u $user,$password $url; mirror -R --parallel=$2 $work/local /"
  else
    on_client lftp -c "source $work/lftprc; open -u $user,$password $url; mirror --parallel=$2 / $work/fetched"
  fi
}
curl_up() { on_client curl -sS --fail -T "$work/local/{$curl_list}" --user "$user:$password" "$url/"; }
curl_down() {
  local arguments=()
  for name in $(cd "$work/local" && ls); do arguments+=("$url/$name" -o "$work/fetched/$name"); done
  on_client curl -sS --fail --user "$user:$password" "${arguments[@]}"
}

directions=(up)
[ "$down" = 1 ] && directions+=(down)
where="loopback"
[ "$rtt" != 0 ] && where="$rtt ms round trip"
for direction in "${directions[@]}"; do
  run_case "orvex-P1-$direction" "$direction" orvex_sync "$direction" 1
  run_case "orvex-P4-$direction" "$direction" orvex_sync "$direction" 4
  [ "$direction" = up ] && run_case "orvex-P1-notemp-$direction" up orvex_sync up 1 --no-temp-copy
  run_case "curl-$direction" "$direction" "curl_$direction"
  run_case "lftp-P1-$direction" "$direction" lftp_mirror "$direction" 1
  run_case "lftp-P4-$direction" "$direction" lftp_mirror "$direction" 4
  echo "$files files of $size bytes $direction, $where, pyftpdlib, median of $runs:"
  one=${median[lftp-P1-$direction]:-0} four=${median[lftp-P4-$direction]:-0}
  for name in orvex-P1 orvex-P1-notemp orvex-P4 curl lftp-P1 lftp-P4; do
    value=${median[$name-$direction]:-}
    [ -z "$value" ] && continue
    awk -v n="$name" -v t="$value" -v one="$one" -v four="$four" 'BEGIN{
      printf "  %-15s %7.2f s", n, t
      if (one > 0) printf "   %5.2fx the time of lftp-P1 (%4.1f times as fast)", t/one, one/t
      if (four > 0) printf "   %5.2fx the time of lftp-P4", t/four
      printf "\n" }'
  done
done
