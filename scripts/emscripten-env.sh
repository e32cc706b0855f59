# The environment Debian's emscripten 3.1.6 needs on these machines. Sourced
# by build-web.sh and web-third-party.sh.
# The node here does not look in Debian's own folder, where emcc's acorn is.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# emcc's output calls fetch() where node 20 has one, which fails on a file
# path (configure runs its test programs so).
export NODE_OPTIONS="--no-experimental-fetch${NODE_OPTIONS:+ $NODE_OPTIONS}"
# emcc checks its tools at every call (a second each) when it cannot note
# that it did in its cache, which Debian installs read-only.
export EM_IGNORE_SANITY=1
# Debian's own Python, not whatever python3 comes first on the path.
[ -x /usr/bin/python3 ] && export EMSDK_PYTHON=/usr/bin/python3
