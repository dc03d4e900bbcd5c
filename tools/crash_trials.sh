#!/usr/bin/env bash
# Crash trials: three hosts in a full mesh take a steady stream of changes from several console
# clients; in each trial one host, chosen at random, is killed with SIGKILL at a random moment
# and started again. After the last trial the stream stops, the script waits until every spool
# is empty and checks that
#   - every change that a client saw acknowledged is on every host, with the same text form;
#   - per origin, the changes arrived in order (a client's counter object ends at its last
#     acknowledged value everywhere, never overwritten by an older one);
#   - no spool file is left.
# It prints the counts and exits non-zero on any loss.
#
#   tools/crash_trials.sh [TRIALS]     (default 100)
#   NBX_BIN=<build>/bin tools/crash_trials.sh 5    the programs of a build as they are (CTest)
set -euo pipefail
cd "$(dirname "$0")/.."
trials=${1:-100}

if [[ -n ${NBX_BIN:-} ]]; then
    bin=$NBX_BIN
else
    source tools/packages.sh
    nbx_install_packages >&2
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j "$(nproc)" --target nbxd nbx-console dhcp_sync >/dev/null
    bin=$PWD/build/bin
fi
nbxd=$bin/nbxd
console=$bin/nbx-console

root=$(mktemp -d /tmp/nbx-trials-XXXXXX)
base=$((20000 + RANDOM % 10000))  # below the ephemeral ports that clients are given
declare -A pid
clients=()

cleanup() {
    local p
    for p in "${clients[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pid[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

query_port() { echo $((base + 10 * $1 + 1)); }
on() {
    local node=$1
    shift
    NBX_CONSOLE_PASSWORD=secret-$node "$console" -s "127.0.0.1:$(query_port "$node")" "$@"
}
start_host() {
    "$nbxd" -c "$root/host$1/nbxd.conf" 2>>"$root/host$1/nbxd.err" &
    pid[$1]=$!
    for _ in $(seq 300); do on "$1" list policy >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "host $1 did not start" >&2
    return 1
}

for node in 1 2 3; do
    mkdir -p "$root/host$node/data"
    cat >"$root/host$node/nbxd.conf" <<CONF
host.node_id=$node
host.data_dir=$root/host$node/data
rconsole.listen_on=127.0.0.1
rconsole.port=$((base + 10 * node))
host.query_port=$(query_port "$node")
rconsole.password=secret-$node
ipv4.dhcpv4.sync.interval=1
ipv6.dhcpv6.sync.interval=1
CONF
    chmod 600 "$root/host$node/nbxd.conf"
    start_host "$node"
done
for node in 1 2 3; do
    for peer in 1 2 3; do
        [[ $peer == "$node" ]] && continue
        on "$node" add replicate_peer "target=127.0.0.1:$(query_port "$peer")" console_user=admin \
            "console_pass=secret-$peer" "classes=*" >/dev/null
    done
done
for node in 1 2 3; do
    for peer in 1 2 3; do
        [[ $peer == "$node" ]] && continue
        for _ in $(seq 100); do
            [[ -e $root/host$node/data/spool/127.0.0.1:$(query_port "$peer")/transactions.6.log ]] && break
            sleep 0.1
        done
    done
done

# Client <n>: adds domains on host <n> and counts its own policy up; writes what was acknowledged.
client() {
    local node=$1 seq=0 oid=""
    while [[ -z $oid ]]; do
        oid=$(on "$node" add policy "name=counter-$node" description=0 2>/dev/null |
            sed -n 's/^oid=//p') || true
        [[ -n $oid ]] || sleep 0.2
    done
    echo "$oid" >"$root/counter$node.oid"
    while :; do
        seq=$((seq + 1))
        if on "$node" add domain "name=c$node-$seq" >/dev/null 2>&1; then
            echo "c$node-$seq" >>"$root/acked$node"
        fi
        if on "$node" modify policy "oid=$oid" "description=$seq" >/dev/null 2>&1; then
            echo "$seq" >"$root/counter$node.last"
        fi
    done
}
for node in 1 2 3; do
    client "$node" &
    clients+=($!)
done

echo "== $trials trials on three hosts in $root"
for trial in $(seq "$trials"); do
    sleep "$((RANDOM % 15 + 5))e-1"
    victim=$((RANDOM % 3 + 1))
    kill -KILL "${pid[$victim]}"
    wait "${pid[$victim]}" 2>/dev/null || true
    start_host "$victim"
    ((trial % 10 == 0)) && echo "   $trial trials"
done
for p in "${clients[@]}"; do kill "$p" 2>/dev/null || true; done
wait "${clients[@]}" 2>/dev/null || true
clients=()

echo "== waiting until every spool is empty"
start=$SECONDS
spooled() { find "$root"/host*/data/spool -type f -size +0 | grep -q .; }
while spooled; do
    ((SECONDS - start > 600)) && { echo "spools still hold records after 600 s" >&2; break; }
    sleep 1
done
drain=$((SECONDS - start))

status=0
acked=$(cat "$root"/acked* | sort -u | wc -l)
for node in 1 2 3; do
    on "$node" list domain | sed -n 's/^name=//p' | sort -u >"$root/names$node"
    missing=$(comm -23 <(cat "$root"/acked* | sort -u) "$root/names$node" | wc -l)
    if ((missing)); then
        echo "host $node lacks $missing acknowledged change(s)" >&2
        status=1
    fi
    on "$node" list domain >"$root/domains$node"
    on "$node" list policy >"$root/policies$node"
done
for node in 2 3; do
    cmp -s "$root/domains1" "$root/domains$node" || { echo "host $node's domains differ from host 1's" >&2; status=1; }
    cmp -s "$root/policies1" "$root/policies$node" || { echo "host $node's policies differ from host 1's" >&2; status=1; }
done
for node in 1 2 3; do
    [[ -f $root/counter$node.last ]] || continue
    last=$(cat "$root/counter$node.last")
    for host in 1 2 3; do
        seen=$(on "$host" show policy "name=counter-$node" | sed -n 's/^description=//p')
        # The last acknowledged value or a later one (a change made but not acknowledged).
        if ((seen < last)); then
            echo "host $host holds counter $node at $seen, older than its acknowledged $last" >&2
            status=1
        fi
    done
done
if spooled; then
    echo "spool records left:" >&2
    find "$root"/host*/data/spool -type f -size +0 >&2
    status=1
fi
verified=$(comm -12 "$root/names1" <(comm -12 "$root/names2" "$root/names3") | wc -l)
echo "trials: $trials, changes acknowledged: $acked, verified on every host: $verified," \
    "drain: ${drain} s"
if ((status)); then
    echo "LOSS: see $root" >&2
    trap - EXIT
    cleanup
    exit 1
fi
for node in 1 2 3; do kill -TERM "${pid[$node]}"; done
for node in 1 2 3; do wait "${pid[$node]}" || true; done
pid=()
rm -rf "$root"
echo "no change was lost"
