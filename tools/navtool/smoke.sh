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
