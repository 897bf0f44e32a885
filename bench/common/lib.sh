# Shared by the benchmark scripts: source it after setting BUILD and TMP.

# need_tool TOOL PACKAGE: installs the Debian package when TOOL is missing.
need_tool() {
  command -v "$1" >/dev/null && return
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "bench: installing $2 for $1" >&2
  { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$2"; } >/dev/null
}

# build_targets TARGET...: configures BUILD when needed and builds the targets.
build_targets() {
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
  fi
  cmake --build "$BUILD" --target "$@" >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
