# Sourced by the tools: installs the Debian packages that the build and the tests need, when
# any is missing (as root on a fresh Debian 12 machine).
nbx_packages=(build-essential cmake pkg-config libace-dev libssl-dev libsqlite3-dev
              nlohmann-json3-dev libreadline-dev libgtest-dev libgmock-dev libbenchmark-dev
              libcpp-httplib-dev iproute2 sqlite3)

nbx_install_packages() {
    local missing=() p
    for p in "${nbx_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}
