#!/usr/bin/env bash
# Writes the standard thekas into this folder, one Taal file each, with
# lorvanta-cli compose:  Taals/make-thekas.sh [PATH-TO-lorvanta-cli]
# (by default the one of the normal build, build/bin/lorvanta-cli).
#
# One bol per stroke. A beat shared by joined bols is split evenly: DhaGe is
# two half-beat bols, TiRaKiTa four quarter-beat bols. A rest is a silent bol.
# The sam carries one "+" of emphasis. The bols are those of the "Tabla Bols.txt"
# shipped beside the program.
#
# Chautaal, Dhamar and Sooltaal are pakhawaj thekas. The program has no
# pakhawaj bol dictionary (text under a "Pakhawaj:" prefix plays silent), so
# they are written with the Tabla bols nearest the pakhawaj strokes: Dha and
# Din open, Ta and Ti damped, Ka and Ki closed, Ga and Ge on the bass drum.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
cli="${1:-$root/build/bin/lorvanta-cli}"
bols="$root/resources/Tabla Bols.txt"

# theka NAME TEMPO VIBHAGS TEXT
# The vibhags are mark:beats pairs (X sam, 0 khali, a number a taali); they
# must add up to the theka's length, or compose refuses them.
theka() {
    "$cli" --bol-table "$bols" compose "$4" -o "$here/$1.tal" --name "$1" --tempo "$2" \
        --vibhags "$3"
}

theka Teentaal 100 "X:4 2:4 0:4 3:4" "Tabla: Dha+ | Dhin | Dhin | Dha |
    Dha | Dhin | Dhin | Dha |
    Dha | Tin | Tin | Ta |
    Ta | Dhin | Dhin | Dha"

theka Ektaal 60 "X:2 0:2 2:2 0:2 3:2 4:2" "Tabla: Dhin+ | Dhin |
    Dha [0.5] | Ge | Ti [0.25] | Ra | Ki | Ta |
    Tu [1] | Na |
    Kat | Ta |
    Dha [0.5] | Ge | Ti [0.25] | Ra | Ki | Ta |
    Dhin [1] | Na"

theka Jhaptaal 120 "X:2 2:3 0:2 3:3" "Tabla: Dhi+ | Na |
    Dhi | Dhi | Na |
    Ti | Na |
    Dhi | Dhi | Na"

# The sam of Rupak falls on its khali.
theka Rupak 110 "0:3 1:2 2:2" "Tabla: Tin+ | Tin | Na |
    Dhi | Na |
    Dhi | Na"

theka Dadra 130 "X:3 0:3" "Tabla: Dha+ | Dhi | Na |
    Dha | Ti | Na"

theka Keherwa 120 "X:4 0:4" "Tabla: Dha+ | Ge | Na | Ti |
    Na | Ka | Dhi | Na"

theka Jhoomra 50 "X:3 2:4 0:3 3:4" "Tabla: Dhin+ | Silence [0.5] | Dha | Ti [0.25] | Ra | Ki | Ta |
    Dhin [1] | Dhin | Dha [0.5] | Ge | Ti [0.25] | Ra | Ki | Ta |
    Tin [1] | Silence [0.5] | Ta | Ti [0.25] | Ra | Ki | Ta |
    Dhin [1] | Dhin | Dha [0.5] | Ge | Ti [0.25] | Ra | Ki | Ta"

theka Deepchandi 70 "X:3 2:4 0:3 3:4" "Tabla: Dha+ | Dhin | Silence |
    Dha | Dha | Tin | Silence |
    Ta | Tin | Silence |
    Dha | Dha | Dhin | Silence"

theka Tilwada 50 "X:4 2:4 0:4 3:4" "Tabla: Dha+ | Ti [0.25] | Ra | Ki | Ta | Dhin [1] | Dhin |
    Dha | Dha | Tin | Tin |
    Ta | Ti [0.25] | Ra | Ki | Ta | Dhin [1] | Dhin |
    Dha | Dha | Dhin | Dhin"

theka Chautaal 90 "X:2 0:2 2:2 0:2 3:2 4:2" "Tabla: Dha+ | Dha |
    Din | Ta |
    Ki [0.5] | Ta | Dha [1] |
    Din | Ta |
    Ti [0.5] | Ta | Ka | Ta |
    Ga | Di | Ge | Na"

theka Dhamar 70 "X:5 2:2 0:3 3:4" "Tabla: Ka+ | Dhi | Ta | Dhi | Ta |
    Dha | Silence |
    Ga | Ti | Ta |
    Ti | Ta | Ta | Silence"

theka Sooltaal 110 "X:2 0:2 2:2 3:2 0:2" "Tabla: Dha+ | Dha |
    Din | Ta |
    Ki [0.5] | Ta | Dha [1] |
    Ti [0.5] | Ta | Ka | Ta |
    Ga | Di | Ge | Na"
