# Sourced by scripts/play and scripts/test: installs the Debian packages that are missing, if any.
# Machines that have them all never touch the network.

# What building and playing the game need.
play_packages=(build-essential cmake pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev
  fonts-ipafont-mincho libenet-dev libminiupnpc-dev)
# What the tests, the benchmarks, the fuzzers and the package need besides: GoogleTest and Google
# Benchmark, an X server and its tools for the end-to-end tests, the validators of the desktop
# entry, the metainfo and the manual page, clang for the fuzzers, a second face (DejaVu) for
# the test of a machine without the game's own, and a home router (miniupnpd on nftables, in
# network namespaces) for the test of port forwarding.
test_packages=(googletest libgtest-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps
  imagemagick python3 clang libclang-rt-14-dev desktop-file-utils appstream man-db groff-base
  dpkg-dev fonts-dejavu-core miniupnpd-nftables nftables iproute2)

# install_missing_packages PACKAGE...
install_missing_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Missing packages: ${missing[*]} (and no sudo)" >&2; return 1; }
    sudo=(sudo)
  fi
  echo "Installing ${missing[*]}"
  local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q)
  # The package lists are fetched only when the install cannot go ahead without them.
  "${apt[@]}" install --no-install-recommends "${missing[@]}" ||
    { "${apt[@]}" update && "${apt[@]}" install --no-install-recommends "${missing[@]}"; }
}
