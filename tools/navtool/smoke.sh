#!/usr/bin/env bash
# Runs navtool over its sample inputs: a grid graph over the two-room box world
# with its find-nearest, access-ways and A* data, and a graph from text; each
# file is printed back with "info".
set -euo pipefail
tool=$1 samples=$2 out=$3
mkdir -p "$out"
"$tool" grid "$samples/two_rooms.boxes" "$out/rooms.graph" 1 > /dev/null
"$tool" findnearest "$out/rooms.graph" "$out/rooms.fn"
"$tool" accessways "$out/rooms.graph" "$samples/two_rooms.boxes" "$out/rooms.aw"
"$tool" astar "$out/rooms.graph" "$out/rooms.astar"
"$tool" info "$out/rooms.graph" > "$out/rooms.graph.txt"
"$tool" info "$out/rooms.fn" "$out/rooms.graph"
"$tool" info "$out/rooms.aw" "$out/rooms.graph" > "$out/rooms.aw.txt"
"$tool" info "$out/rooms.astar" "$out/rooms.graph"
"$tool" text "$samples/triangle.txt" "$out/triangle.graph" > "$out/triangle.txt"
head -n 1 "$out/rooms.graph.txt" "$out/rooms.aw.txt" "$out/triangle.txt"
# A data file for another graph is refused.
if "$tool" info "$out/rooms.fn" "$out/triangle.graph" 2> /dev/null; then
    echo "navtool accepted data of another graph" >&2
    exit 1
fi
# Path ways and neural nets from text; a net whose weights do not fit its layers is refused.
"$tool" pathway "$samples/patrol.way.txt" "$out/patrol.way"
"$tool" neuralnet "$samples/tiny.net.txt" "$out/tiny.net"
printf 'layers 2 2\nweights 1 2 3\n' > "$out/bad.net.txt"
if "$tool" neuralnet "$out/bad.net.txt" "$out/bad.net" 2> /dev/null; then
    echo "navtool accepted a net with too few weights" >&2
    exit 1
fi
# Hostile inputs are refused with a message naming the file, before any allocation.
refuse() {
    local expect=$1; shift
    if "$tool" "$@" > "$out/refused.txt" 2>&1; then
        echo "navtool $* was accepted" >&2
        exit 1
    fi
    if ! grep -q "$expect" "$out/refused.txt"; then
        echo "navtool $*: expected \"$expect\" in:" >&2
        cat "$out/refused.txt" >&2
        exit 1
    fi
}
refuse "no-such-file: cannot read" info "$out/no-such-file"
printf 'area 10 0 0 10 0\n' > "$out/backwards.boxes"
refuse "max >= min" grid "$out/backwards.boxes" "$out/x.graph" 1
printf 'area 0 0 1e30 10 0\n' > "$out/huge.boxes"
refuse "more than" grid "$out/huge.boxes" "$out/x.graph" 1
refuse "more than" grid "$samples/two_rooms.boxes" "$out/x.graph" 0.001
refuse "outside" grid "$samples/two_rooms.boxes" "$out/x.graph" 0
refuse "not a finite number" grid "$samples/two_rooms.boxes" "$out/x.graph" nan
printf 'area 0 0 100 100 0\n' > "$out/big.boxes"
"$tool" grid "$out/big.boxes" "$out/big.graph" 1 > /dev/null
refuse "at most 4096" astar "$out/big.graph" "$out/x.astar"
head -c 40 "$out/rooms.graph" > "$out/cut.graph"
refuse "at byte" info "$out/cut.graph"
