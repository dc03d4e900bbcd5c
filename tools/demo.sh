#!/usr/bin/env bash
# Three hosts on loopback that replicate to each other: builds what is missing, starts them in a
# temporary folder, each a peer of the other two, changes objects on each of them with
# nbx-console, waits until every host holds the same objects and shows them side by side,
# provokes one conflict and shows its log entry, shows every host's replication status and the
# drift reports between the hosts, then stops the hosts.
#
# Exits non-zero when a host does not start, a change is refused, or the hosts differ (as their
# listings or a drift report tell).
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/packages.sh
nbx_install_packages >&2

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target nbxd nbx-console dhcp_sync >/dev/null
bin=$PWD/build/bin
root=$(mktemp -d /tmp/nbx-demo-XXXXXX)
source tools/hosts.sh
trap 'nbx_stop_all || true; rm -rf "$root"' EXIT

for node in 1 2 3; do
    nbx_configure "$node"
    nbx_start "$node"
done
echo "== three hosts running in $root (console query ports $(query_port 1), $(query_port 2), $(query_port 3))"
nbx_mesh
echo "== each host lists the other two as peers"

echo "== changes on every host"
on 1 add policy name=gold description=first-class >/dev/null
on 1 add option name=routers type=ipaddress tagpath=3 >/dev/null
on 1 add address_pool name=lab rangestart=10.1.2.10 rangestop=10.1.2.200 relay=10.1.2.1 \
    prefix=10.1.2.0 prefix_len=24 policies=gold >/dev/null
on 2 add policy name=silver >/dev/null
on 2 add account name=desk-1 class=modem >/dev/null
doomed=$(on 2 add domain name=temporary | sed -n 's/^oid=//p')
on 3 -6 add address_pool name=lab-v6 prefix=2001:db8:1:: prefix_len=64 \
    rangestart=2001:db8:1::1:0 rangestop=2001:db8:1::1:ffff relay=2001:db8:1::1 >/dev/null
gold=$(on 3 show policy name=gold | sed -n 's/^oid=//p' || true)
for _ in $(seq 100); do [[ -n $gold ]] && break; sleep 0.1
    gold=$(on 3 show policy name=gold 2>/dev/null | sed -n 's/^oid=//p' || true); done
on 3 modify policy "oid=$gold" "description=changed on host 3" >/dev/null
for _ in $(seq 100); do on 1 show domain name=temporary >/dev/null 2>&1 && break; sleep 0.1; done
on 1 del domain "oid=$doomed" >/dev/null

# listing <topic> [-6]: the objects of a topic as every host lists them, one file per host.
views=("policy" "option" "address_pool" "account" "domain" "address_pool -6")
snapshot() {
    local node view
    for node in 1 2 3; do
        : >"$root/view$node"
        for view in "${views[@]}"; do
            set -- $view
            echo "# $1${2:+ (IPv6)}" >>"$root/view$node"
            on "$node" ${2:-} list "$1" >>"$root/view$node" || true
        done
    done
}
in_step() { snapshot; cmp -s "$root/view1" "$root/view2" && cmp -s "$root/view1" "$root/view3"; }

echo "== waiting until every host holds the same objects"
start=$SECONDS
until in_step; do
    if ((SECONDS - start > 60)); then
        echo "the hosts differ:" >&2
        diff "$root/view1" "$root/view2" >&2 || true
        diff "$root/view1" "$root/view3" >&2 || true
        exit 1
    fi
    sleep 0.5
done
echo "   in step after $((SECONDS - start)) s"
pr -m -t -w 150 <(echo "---- host 1"; cat "$root/view1") <(echo "---- host 2"; cat "$root/view2") \
    <(echo "---- host 3"; cat "$root/view3") | grep -v '^ *$'

echo "== a conflict: host 2 changes the policy while its link to host 1 is paused, host 1 later"
peer_to_1=$(on 2 list replicate_peer | awk -v t="target=127.0.0.1:$(query_port 1)" \
    '/^oid=/{oid=$0} $0==t{found=1} /^-$/{if(found){print substr(oid,5); exit} oid=""; found=0}')
on 2 modify replicate_peer "oid=$peer_to_1" enabled=false >/dev/null
on 2 modify policy "oid=$gold" "description=older, from host 2" >/dev/null
sleep 1.1
on 1 modify policy "oid=$gold" "description=newer, from host 1" >/dev/null
on 2 modify replicate_peer "oid=$peer_to_1" enabled=true >/dev/null
conflicts=$root/host2/data/conflicts/conflicts.4.log
for _ in $(seq 300); do [[ -s $conflicts ]] && break; sleep 0.1; done
[[ -s $conflicts ]] || { echo "no conflict was logged" >&2; exit 1; }
echo "   host 2's conflict log:"
sed 's/^/   | /' "$conflicts"

start=$SECONDS
until in_step; do
    ((SECONDS - start > 60)) && { echo "the hosts differ after the conflict" >&2; exit 1; }
    sleep 0.5
done
echo "   every host keeps the newer change: $(on 3 show policy name=gold | grep '^description=')"

# status_lines <node>: one line per peer of the host's status, and one per receiver.
status_lines() {
    on "$1" status | awk -F= '
        /^-$/ || /^$/ { emit() ; next }
        { v[$1] = substr($0, length($1) + 2) }
        function emit() {
            if ("peer" in v)
                printf "   host %s -> %-17s IPv%s  %-11s backlog %s record(s), %s acknowledged, %s conflict(s)\n",
                    node, v["peer"], v["family"], v["state"], v["backlog_records"], v["acknowledged"], v["conflicts"]
            else if ("receiver" in v)
                printf "   host %s receiver IPv%s: %s record(s) written, %s event(s) dropped\n",
                    node, v["receiver"], v["records_written"], v["events_dropped"]
            delete v
        }' node="$1"
}
drained() {
    local node report
    for node in 1 2 3; do
        report=$(on "$node" status) || return 1
        grep -q '^backlog_records=[1-9]' <<<"$report" && return 1
    done
    return 0
}

echo "== replication status of every host (nbx-console status)"
start=$SECONDS
until drained; do
    ((SECONDS - start > 60)) && { echo "a backlog did not drain" >&2; status_lines 1 >&2; exit 1; }
    sleep 0.5
done
for node in 1 2 3; do status_lines "$node"; done

echo "== drift reports between the hosts (nbx-console drift)"
for node in 1 2 3; do
    for peer in 1 2 3; do
        [[ $peer == "$node" ]] && continue
        for family in "" -6; do
            # Exit 1: a difference, or a comparison cut short; either fails the demo.
            if ! report=$(on "$node" $family drift "127.0.0.1:$(query_port "$peer")"); then
                echo "host $node and host $peer are not in step${family:+ (IPv6)}:" >&2
                echo "$report" >&2
                exit 1
            fi
            compared=$(awk -F= '$1=="local"{n+=$2} END{print n+0}' <<<"$report")
            echo "   host $node vs host $peer${family:+ (IPv6)}: $compared object(s) compared," \
                "$(sed -n 's/^differences=//p' <<<"$report") difference(s)"
        done
    done
done
echo "   the three hosts are in step"

echo "== stopping the hosts"
nbx_stop_all || { echo "a host did not stop cleanly (exit $?)" >&2; exit 1; }
echo "all three hosts stopped cleanly; the demo passed"
