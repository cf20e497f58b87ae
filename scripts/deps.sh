#!/usr/bin/env bash
# Installs what building Quorvane needs (its tests included, which every build
# compiles), and the apt packages given, and prints where its libraries (fmt 10,
# spdlog 1.15, CLI11 2.4, FTXUI 5.0) are. Where apt offers them at those
# versions (Debian 13 and newer) the packaged libraries are installed and used;
# elsewhere (Debian 12) they are built once from Debian 13's source packages
# into a cache outside the work tree.
# Usage: scripts/deps.sh linux|windows [more apt packages...]
# Prints the install prefix on its last line.
set -euo pipefail

target=${1:-linux}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
prefix=$cache/deps/$target
stamp=$prefix/.stamp
# Bump when the recipe changes, so stale caches are rebuilt.
recipe="fmt-10.1.1 spdlog-1.15.2 cli11-2.4.1 ftxui-5.0.0 r2"
# The packaged libraries and the oldest versions that will do (spdlog's
# versions carry an epoch).
libraries=(libfmt-dev=10 libspdlog-dev=1:1.15 libcli11-dev=2.4 libftxui-dev=5)

log() { printf '[deps] %s\n' "$*" >&2; }

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
apt_updated=false
apt_update() {
  $apt_updated || $sudo_cmd apt-get update -qq >&2
  apt_updated=true
}
installed_version() { dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null | awk '/ok installed/ {print $4}'; }
candidate_version() { apt-cache policy "$1" 2>/dev/null | awk '/Candidate:/ && $2 != "(none)" {print $2}'; }
# True when every library's version (installed, or apt's candidate) will do.
libraries_fit() { # installed_version|candidate_version
  local entry version
  for entry in "${libraries[@]}"; do
    version=$($1 "${entry%%=*}")
    [ -n "$version" ] && dpkg --compare-versions "$version" ge "${entry#*=}" || return 1
  done
}

need_apt=()
want() { [ -n "$(installed_version "$1")" ] || need_apt+=("$1"); }
for p in cmake ninja-build g++ make libgtest-dev libgmock-dev googletest nlohmann-json3-dev xz-utils "$@"; do want "$p"; done
if [ "$target" = windows ]; then
  for p in g++-mingw-w64-x86-64-posix wine64 wine; do want "$p"; done
fi

# Packaged libraries first, then the cache; apt's lists are refreshed only
# when neither will do, as on a machine whose lists are still empty.
use=build
if [ "$target" = linux ] && libraries_fit installed_version; then
  use=system
elif [ "$target" = linux ] && libraries_fit candidate_version; then
  use=install
elif [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
  use=cache
elif [ "$target" = linux ] && apt_update && libraries_fit candidate_version; then
  use=install
fi
if [ "$use" = install ]; then
  for entry in "${libraries[@]}"; do want "${entry%%=*}"; done
  use=system
fi

if [ ${#need_apt[@]} -gt 0 ]; then
  log "installing ${need_apt[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${need_apt[@]}" >&2
fi

# The JSON library is header-only, so the Windows build uses Debian's own
# headers and package files, copied beside the libraries built for it (not
# part of the recipe: a cached prefix is not rebuilt for them).
provide_json() {
  [ "$target" = windows ] && [ ! -f "$prefix/share/cmake/nlohmann_json/nlohmann_jsonConfig.cmake" ] || return 0
  local config
  config=$(dpkg -L nlohmann-json3-dev | grep '/nlohmann_jsonConfig\.cmake$' | head -n1)
  rm -rf "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -r /usr/include/nlohmann "$prefix/include/"
  cp -r "$(dirname "$config")" "$prefix/share/cmake/nlohmann_json"
}

case $use in
  system)
    log "using the system's libraries"
    echo "/usr"
    exit 0
    ;;
  cache)
    provide_json
    echo "$prefix"
    exit 0
    ;;
esac

work=$cache/src-$target
rm -rf "$work" "$prefix"
mkdir -p "$work/lists/partial" "$work/dl" "$prefix"

# The archive apt already uses, asked for Debian 13's sources with a private
# configuration so the system's own apt state stays untouched.
uri=$(grep -rhs '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
[ -n "$uri" ] || uri=$(grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
  awk '{for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' | grep -v security | head -n1 || true)
[ -n "$uri" ] || { log "no Debian archive found in apt's sources"; exit 1; }
echo "deb-src $uri trixie main" >"$work/sources.list"
apt_opts=(-o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=-" -o "Dir::State::Lists=$work/lists"
  -o "Debug::NoDropPrivs=1" -o "APT::Sandbox::User=root")
log "fetching sources"
apt-get "${apt_opts[@]}" update -qq >&2
# Only the upstream tarballs are used; a missing Debian part (cli11's) is fine.
(cd "$work/dl" && apt-get "${apt_opts[@]}" source --download-only fmtlib spdlog cli11 ftxui >&2 || true)
unpack() { # name pattern
  local tarball
  tarball=$(ls "$work"/dl/$2 | head -n1)
  [ -n "$tarball" ] || { log "missing source for $1"; exit 1; }
  mkdir -p "$work/$1"
  tar -xf "$tarball" -C "$work/$1" --strip-components=1
}
unpack fmt 'fmtlib_*.orig.tar.*'
unpack spdlog 'spdlog_*.orig.tar.*'
unpack cli11 'cli11_*.orig.tar.*'
unpack ftxui 'ftxui_*.orig.tar.*'

cmake_common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix"
  -DCMAKE_FIND_PACKAGE_PREFER_CONFIG=ON -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON)
if [ "$target" = windows ]; then
  cmake_common+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake")
fi
build() { # name, extra cmake args...
  local name=$1; shift
  log "building $name"
  cmake -S "$work/$name" -B "$work/$name/_build" "${cmake_common[@]}" "$@" >"$work/$name.log" 2>&1 ||
    { tail -n 30 "$work/$name.log" >&2; exit 1; }
  cmake --build "$work/$name/_build" >>"$work/$name.log" 2>&1 && cmake --install "$work/$name/_build" >>"$work/$name.log" 2>&1 ||
    { tail -n 30 "$work/$name.log" >&2; exit 1; }
}
build fmt -DFMT_TEST=OFF -DFMT_DOC=OFF -DFMT_INSTALL=ON
build spdlog -DSPDLOG_FMT_EXTERNAL=ON -DSPDLOG_BUILD_EXAMPLE=OFF -DSPDLOG_BUILD_TESTS=OFF -DSPDLOG_BUILD_BENCH=OFF -DSPDLOG_INSTALL=ON
build cli11 -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF -DCLI11_PRECOMPILED=OFF -DCLI11_INSTALL=ON
build ftxui -DFTXUI_BUILD_EXAMPLES=OFF -DFTXUI_BUILD_DOCS=OFF -DFTXUI_BUILD_TESTS=OFF -DFTXUI_ENABLE_INSTALL=ON
rm -rf "$work"
provide_json
echo "$recipe" >"$stamp"
log "installed into $prefix"
echo "$prefix"
