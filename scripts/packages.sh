# Sourced by scripts/play and scripts/test: installs the Debian packages the build, the tests and
# the game need, if any is missing. Machines that have them all never touch the network.
packages=(build-essential cmake pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev
  fonts-ipafont-mincho fonts-ipafont-gothic fonts-dejavu-core googletest libgtest-dev
  libbenchmark-dev libenet-dev xvfb xdotool
  x11-utils x11-apps imagemagick python3 clang libclang-rt-14-dev
  desktop-file-utils appstream)

install_missing_packages() {
  local missing=() package
  for package in "${packages[@]}"; do
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
