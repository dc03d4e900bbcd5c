# Sourced by the demo and the crash trials: three hosts on loopback ports in a scratch folder,
# each a peer of the other two. The caller sets `bin` (the folder of nbxd and nbx-console) and
# `root` (the scratch folder) first.
nbx_base=$((20000 + RANDOM % 10000))  # below the ephemeral ports that clients are given
declare -A nbx_pid

query_port() { echo $((nbx_base + 10 * $1 + 1)); }
password() { echo "secret-$1"; }

# on <node> [-6] <command words...>: one command on a host's console; its response on stdout.
on() {
    local node=$1
    shift
    NBX_CONSOLE_PASSWORD=$(password "$node") "$bin/nbx-console" -s "127.0.0.1:$(query_port "$node")" "$@"
}

# Writes host <node>'s data folder and configuration file.
nbx_configure() {
    local node=$1
    mkdir -p "$root/host$node/data"
    cat >"$root/host$node/nbxd.conf" <<CONF
host.node_id=$node
host.data_dir=$root/host$node/data
rconsole.listen_on=127.0.0.1
rconsole.port=$((nbx_base + 10 * node))
host.query_port=$(query_port "$node")
rconsole.password=$(password "$node")
ipv4.dhcpv4.sync.interval=1
ipv6.dhcpv6.sync.interval=1
CONF
    chmod 600 "$root/host$node/nbxd.conf"
}

# Starts host <node> and waits until its console answers; 1 when it does not.
nbx_start() {
    "$bin/nbxd" -c "$root/host$1/nbxd.conf" 2>>"$root/host$1/nbxd.err" &
    nbx_pid[$1]=$!
    for _ in $(seq 300); do on "$1" list policy >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "host $1 did not start" >&2
    return 1
}

# Stops every running host with SIGTERM; the highest exit code, 0 when all stopped cleanly.
nbx_stop_all() {
    local node status=0
    for node in "${!nbx_pid[@]}"; do kill -TERM "${nbx_pid[$node]}" 2>/dev/null || true; done
    for node in "${!nbx_pid[@]}"; do wait "${nbx_pid[$node]}" || status=$?; done
    nbx_pid=()
    return $status
}

# Makes hosts 1 to 3 a full mesh: one peer record per peer serves both families. Waits until
# both families' receivers have each peer (its working logs are there): a change taken before
# would not go to that peer.
nbx_mesh() {
    local node peer
    for node in 1 2 3; do
        for peer in 1 2 3; do
            [[ $peer == "$node" ]] && continue
            on "$node" add replicate_peer "target=127.0.0.1:$(query_port "$peer")" \
                console_user=admin "console_pass=$(password "$peer")" "classes=*" >/dev/null
        done
    done
    for node in 1 2 3; do
        for peer in 1 2 3; do
            [[ $peer == "$node" ]] && continue
            local log=$root/host$node/data/spool/127.0.0.1:$(query_port "$peer")/transactions.6.log
            for _ in $(seq 100); do [[ -e $log ]] && break; sleep 0.1; done
        done
    done
}
