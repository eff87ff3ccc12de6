#!/usr/bin/env bash
# Writes the sample clips, then checks the walk against the motion's closed
# form: at t = 0 the left leg is 25 degrees forward and the right 25 back,
# knees straight, pelvis at 0.95 - 0.03 m; at t = 0.5 the legs are exchanged.
# A straight leg of 0.42 + 0.43 m from the hip (0.1, -0.05, 0) below the
# pelvis puts the foot at (+-0.1, 0.87 - 0.85 cos 25, +-0.85 sin 25).
# Usage: smoke.sh <anim-tool> <skeleton> <output folder>
set -euo pipefail
tool=$1
skeleton=$2
out=$3
rm -rf "$out"
mkdir -p "$out"

"$tool" clips "$skeleton" "$out/anims"
count=$(ls "$out/anims"/*.anm | wc -l)
[[ $count -eq 37 ]] || { echo "expected 37 clips, found $count"; exit 1; }

# Foot positions from play, against the closed form.
check_feet() { # time, sign of the left foot's z
    "$tool" play "$out/anims/walk.anm" --skeleton "$skeleton" --time "$1" > "$out/play-$1.txt"
    awk -v sign="$2" '
        function near(a, b) { return (a - b < 1e-3 && b - a < 1e-3) }
        BEGIN { pi = 3.14159265358979; y = 0.87 - 0.85 * cos(25 * pi / 180); z = 0.85 * sin(25 * pi / 180) }
        $2 == "LeftFoot"  { left = near($3, 0.1) && near($4, y) && near($5, sign * z) }
        $2 == "RightFoot" { right = near($3, -0.1) && near($4, y) && near($5, -sign * z) }
        END { if (!left || !right) { print "feet off the closed form at t='"$1"'"; exit 1 } }
    ' "$out/play-$1.txt"
}
check_feet 0 1
check_feet 0.5 -1

# dump reproduces the keys: 38 bones x 9 samples; the left thigh's first key
# turns -25 degrees about x and keeps its rest offset; the pelvis is lowered by
# the bob; second keys follow the first ones.
"$tool" dump "$out/anims/walk.anm" > "$out/walk-dump.txt"
awk '
    function near(a, b) { return (a - b < 1e-5 && b - a < 1e-5) }
    BEGIN { pi = 3.14159265358979; s = sin(-12.5 * pi / 180); c = cos(12.5 * pi / 180) }
    NR == 1 { head = ($2 == 1 && $4 == 342 && $8 == 1 && $10 == 38) }
    $1 == "key" && $2 == 2 { thigh = $4 == -1 && near($8, s) && near($11, c) && near($13, 0.1) && near($14, -0.05) }
    $1 == "key" && $2 == 1 { pelvis = near($14, 0.92) }
    $1 == "key" && $2 == 40 { second = $4 == 2 && near($6, 0.125) }
    END { if (!head || !thigh || !pelvis || !second) { print "dump differs from the written keys"; exit 1 } }
' "$out/walk-dump.txt"

# At 500 units a metre every translation is 500 times longer (the bobbing
# pelvis and the thigh's offset included); rotations are unchanged.
"$tool" clips "$skeleton" "$out/anims500" --units-per-metre 500 > /dev/null
"$tool" dump "$out/anims500/walk.anm" > "$out/walk-dump500.txt"
awk '
    function near(a, b) { return (a - b < 1e-2 && b - a < 1e-2) }
    BEGIN { s = sin(-12.5 * 3.14159265358979 / 180) }
    $1 == "key" && $2 == 1 { pelvis = near($14, 460) }
    $1 == "key" && $2 == 2 { thigh = near($8, s) && near($13, 50) && near($14, -25) }
    END { if (!pelvis || !thigh) { print "--units-per-metre 500 does not scale the translations"; exit 1 } }
' "$out/walk-dump500.txt"

# Every clip plays on the skeleton.
for clip in "$out/anims"/*.anm; do
    "$tool" play "$clip" --skeleton "$skeleton" --time 0.3 > /dev/null
done
echo "anim-tool: 37 clips written, walk matches its closed form"
