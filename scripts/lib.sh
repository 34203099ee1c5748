# Shared by the run and test scripts: installs what a fresh Debian 12 machine
# lacks, and configures and builds one build directory.

LORVANTA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LORVANTA_PACKAGES=(
    build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
    portaudio19-dev libsamplerate0-dev libsndfile1-dev libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core fonts-liberation
    dpkg-dev file desktop-file-utils appstream sonic-pi-samples
    libfluidsynth-dev musescore-general-soundfont-small
    pulseaudio pulseaudio-utils libasound2-plugins jackd2
)

lorvanta_install_packages() {
    local missing=()
    local package
    for package in "${LORVANTA_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

# lorvanta_build DIR [cmake options...]: configure once, then build incrementally.
lorvanta_build() {
    local dir="$1"
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$LORVANTA_ROOT" -B "$dir" -G Ninja "$@"
    fi
    cmake --build "$dir" -j "$(nproc)"
}
