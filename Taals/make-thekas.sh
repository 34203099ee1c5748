#!/usr/bin/env bash
# Writes the Taal library into this folder with lorvanta-cli compose:
#   Taals/make-thekas.sh [PATH-TO-lorvanta-cli]
# (by default the one of the normal build, build/bin/lorvanta-cli).
#
# The taals lie in this folder, one file each; the forms a main taal takes by
# laya and its prakars in a folder named after it; practice material in
# Compositions. Thekas are written as musicians write them, one word a beat
# (see beats-to-notation.awk): joined bols share their beat evenly (DhaGe is
# two half-beat bols, TiRaKiTa four quarter-beat bols), "-" is a rest, a
# "[...]" group is one beat cut into equal slots. The sam carries one "+" of
# emphasis. The bols are those of the "Tabla Bols.txt" shipped beside the
# program; pakhawaj taals use its pakhawaj bols.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
cli="${1:-$root/build/bin/lorvanta-cli}"
bols="$root/resources/Tabla Bols.txt"

# compose FILE TEMPO VIBHAGS INSTRUMENT BEATS
# The vibhags are mark:beats pairs (X sam, 0 khali, a number a taali); they
# must add up to the length, or compose refuses them. The Taal's name is the
# file's.
compose() {
    local file="$here/$1.tal" name
    name="$(basename "$1")"
    mkdir -p "$(dirname "$file")"
    "$cli" --bol-table "$bols" compose "$4: $(awk -f "$here/beats-to-notation.awk" <<<"$5")" \
        -o "$file" --name "$name" --tempo "$2" --vibhags "$3"
}
tabla() { compose "$1" "$2" "$3" Tabla "$4"; }
pakhawaj() { compose "$1" "$2" "$3" Pakhawaj "$4"; }
# The same vibhags over so many cycles.
cycles() {
    local out="" i
    for ((i = 0; i < $1; i++)); do out+="$2 "; done
    echo "${out% }"
}
teentaal="X:4 2:4 0:4 3:4"
ektaal="X:2 0:2 2:2 0:2 3:2 4:2"
keherwa="X:4 0:4"
dadra="X:3 0:3"
deepchandi="X:3 2:4 0:3 3:4"

# --- The standard thekas ---------------------------------------------------
tabla Teentaal 100 "$teentaal" "Dha Dhin Dhin Dha | Dha Dhin Dhin Dha | Dha Tin Tin Ta | Ta Dhin Dhin Dha"
tabla Ektaal 60 "$ektaal" "Dhin Dhin | DhaGe TiRaKiTa | Tu Na | Kat Ta | DhaGe TiRaKiTa | Dhin Na"
tabla Jhaptaal 120 "X:2 2:3 0:2 3:3" "Dhi Na | Dhi Dhi Na | Ti Na | Dhi Dhi Na"
# The sam of Rupak falls on its khali.
tabla Rupak 110 "0:3 1:2 2:2" "Tin Tin Na | Dhi Na | Dhi Na"
tabla Dadra 130 "$dadra" "Dha Dhi Na | Dha Ti Na"
tabla Keherwa 120 "$keherwa" "Dha Ge Na Ti | Na Ka Dhi Na"
tabla Jhoomra 50 "X:3 2:4 0:3 3:4" \
    "Dhin -Dha TiRaKiTa | Dhin Dhin DhaGe TiRaKiTa | Tin -Ta TiRaKiTa | Dhin Dhin DhaGe TiRaKiTa"
tabla Deepchandi 70 "$deepchandi" "Dha Dhin - | Dha Dha Tin - | Ta Tin - | Dha Dha Dhin -"
tabla Tilwada 50 "$teentaal" \
    "Dha TiRaKiTa Dhin Dhin | Dha Dha Tin Tin | Ta TiRaKiTa Dhin Dhin | Dha Dha Dhin Dhin"

# --- Tabla taals of classical and light music -------------------------------
tabla "Ada Chautaal" 60 "X:2 2:2 0:2 3:2 0:2 4:2 0:2" \
    "Dhin TiRaKiTa | Dhin Na | Tu Na | Kat Ta | TiRaKiTa Dhin | Na Dhin | Dhin Na"
tabla "Pancham Sawari" 70 "X:3 2:4 0:4 3:4" "Dhin Na DhiDhin | Kat DhinDhin NaDhin DinNa |
    TiKra TinNa TiRaKiTa TunNa | KatTa DhiDin NaDhin DhinNa"
tabla Rudra 90 "X:1 0:1 2:1 3:1 4:1 0:1 5:1 6:1 7:1 8:1 0:1" "Dhi | Na | Dhi | Na | Ta | Ti | Na | Kat | Ta | Dhi | Na"
tabla Matta 90 "X:2 2:2 0:2 3:3" "Dhin TiRaKiTa | Dhin Na | Tu Na | DhinDhin NaDhin DhinNa"
tabla Basant 90 "X:1 2:1 3:1 4:1 0:1 5:1 0:1 6:1 0:1" "Dha | Din | Ta | Dhet | Ta | TiTe | KaTa | GaDi | GheNe"
tabla Shikhar 80 "X:4 2:4 3:3 4:2 5:4" \
    "Dha Trak Din Nak | Thun Ga Dhin Nak | TiTe KaTa GaDi | Dhet Dha | TiTe KaTa GaDi GheNe"
tabla "Jat" 80 "$teentaal" "Dha - Dhin - | Dha Dha Dhin - | Ta - Tin - | Dha Dha Dhin -"
tabla "Jat (14 beats)" 80 "$deepchandi" "Dha Dhin - | Dha Dha Dhin - | Ta Tin - | Dha Dha Dhin -"
tabla "Punjabi Theka" 100 "$teentaal" \
    "Dha -Dhi -Ge Dha | Dha -Dhi -Ge Dha | Dha -Ti -Ke Ta | Ta Dhi -Ge Dha"
tabla Sitarkhani 100 "$teentaal" \
    "Dha GeDhin -Te Dha | DhaGe -Dhin -Te Dha | Dha KeTin -Te Ta | TaKe -Dhin -Te Dha"
tabla Addha 90 "$teentaal" "Dha Dhin - Dha | Dha Dhin - Dha | Dha Tin - Ta | Ta Dhin - Dha"
tabla "Adha Teentaal" 120 "$keherwa" "Dha Dhin Dhin Ta | Ta Dhin Dhin Ta"
tabla "Adha Jhaptaal" 120 "0:2 2:3" "Tin Na | Dhin Dhin Na"
tabla Khemta 120 "X:3 2:3 0:3 3:3" "Dha Ti Te | Na Dhi Na | Ta Ti Te | Dha Dhi Na"
tabla "Khemta (6 beats)" 100 "$dadra" "DhaTi TeNa DhiNa | TaTi TeDha DhiNa"
tabla Bhajani 110 "$keherwa" "Dhin NaDhin -Dhin Na | Dhin NaTin -Tin Na"
tabla Farodast 70 "X:2 0:2 2:2 0:2 3:2 4:2 5:2" \
    "Dhin Dhin | DhaGe TiRaKiTa | Tu Na | Kat Ta | Dhin KaTa | TiRaKiTa DhiNa | KaDhi Nak"
tabla Gajjhampa 80 "X:4 2:4 0:3 3:4" "Dha Dhin Nak Tak | Dha Dhin Nak Tak | Dhin Nak Tak | TiTe KaTa GaDi GheNe"
tabla Tevra 120 "X:3 2:2 3:2" "Dhi Dhi Na | Dhi Na | Dhi Na"

# --- Pakhawaj taals ------------------------------------------------------------
pakhawaj Chautaal 90 "$ektaal" "Dha Dha | Din Ta | KiTa Dha | Din Ta | TiTa KaTa | GaDi GeNa"
pakhawaj Dhamar 70 "X:5 2:2 0:3 3:4" "Ka Dhi Ta Dhi Ta | Dha - | Ga Ti Ta | Ti Ta Ta -"
pakhawaj Sooltaal 110 "X:2 0:2 2:2 3:2 0:2" "Dha Dha | Din Ta | KiTa Dha | TiTa KaTa | GaDi GeNa"
pakhawaj Teevra 110 "X:3 2:2 3:2" "Dha Din Ta | TiTa KaTa | GaDi GeNa"
# Brahma's fourteen matras, one a vibhag. A vibhag's mark is one figure, so
# the tenth taali is marked 9 again: the clap stays where it falls.
pakhawaj Brahma 80 "X:1 2:1 3:1 4:1 5:1 6:1 0:1 0:1 7:1 8:1 9:1 0:1 9:1 0:1" \
    "DhaTet DhetKit TakDhum KiTeTak DhetTa DhetTa DhaGeTiTe TaGeTiTe ThunNa KatTa DenTa KiTeTaGe TiTeKaTa GaDiGheNe"
# Ganesh has no khali; its tenth taali is marked 9 again, as in Brahma.
pakhawaj Ganesh 80 "X:4 2:1 3:4 4:1 5:1 6:4 7:1 8:1 9:1 9:3" \
    "Dha Dha Den Ta | Kat | TaGe Dha Den Ta | Kat | Tet | Ta DhaGe Den Ta | Thun | Na | TiTe | KaTa GaDi GheNe"
pakhawaj "Matta (pakhawaj)" 80 "X:2 0:2 2:2 3:2 0:2 4:2 5:2 6:2 0:2" \
    "Dha - | Dhi - | Na Ka | Dhi - | Na Ka | Ti Ta | Ka Ta | Ga Di | Ga Na"
pakhawaj "Ada Chautaal (pakhawaj)" 60 "X:2 2:4 3:4 4:4" \
    "Dha Ge | Dha Ge Din Ta | Kat TaGe Din Ta | TeTe KaTa GaDi GheNe"

# --- Forms by laya and prakars of the main taals -----------------------------
tabla "Teentaal/Teentaal – Drut (Na Dhin Dhin Dha)" 240 "$teentaal" \
    "Dha Dhin Dhin Dha | Na Dhin Dhin Dha | Na Tin Tin Ta | TeTe Dhin Dhin Dha"
tabla "Ektaal/Ektaal – Kat Tin" 60 "$ektaal" "Dhin Dhin | DhaGe TiRaKiTa | Tu Na | Kat Tin | DhaGe TiRaKiTa | Dhin Na"
tabla "Ektaal/Ektaal – Ati-vilambit with fillers" 16 "$ektaal" \
    "[Dhin - - TraKa] [Dhin - - TraKa] | [Dha - Ge -] [Ti Ra Ki Ta] | [Thun - - TraKa] [Na Kre Na Na] |
     [Kat - - TraKa] [Ta - - TraKa] | [Dha KreDha Gi] [Ti Ra Ki Ta] |
     [Dhin - - TraKa] [Na Kre NaTi NaTeRe KeTeTaKa TiRaKiTa]"
tabla "Ektaal/Ektaal – Drut (Bengali)" 200 "X:3 2:3 0:3 3:3" "Dhin Dhin Dha | Dha Thun Na | Kat Ta DhaGe | TeTe Dhin Dha"
tabla "Jhaptaal/Jhaptaal – Doubled" 80 "X:2 2:3 0:2 3:3" \
    "DhiNa DhiDhi | NaTi NaDhi DhiNa | DhiNa DhiDhi | NaTi NaDhi DhiNa"
tabla "Rupak/Rupak – Tin Tin Na Dhin Na" 110 "0:3 1:2 2:2" "Tin Tin Na | Dhin Na | Dhin Na"
tabla "Keherwa/Keherwa – Bengali Kaharba" 120 "$keherwa" "Dha Ge Te Te | Na Ge Dhi Na"
tabla "Keherwa/Keherwa – Open groove" 120 "$keherwa" "Dha Ti Dha - | Ta Ti Ta -"
tabla "Keherwa/Keherwa – Doubled" 100 "$keherwa" "DhaGe NaTi NaKe DhaDha | DhaGe NaTi NaKe DhaDha"
tabla "Keherwa/Keherwa – DhaDhin NaTeTe" 100 "$keherwa" "DhaDhin NaTeTe TaTin NaTeTe | DhaDhin NaTeTe TaTin NaTeTe"
tabla "Keherwa/Keherwa – Laggi" 120 "$keherwa" "DhaDhin DhaDha DhaTi DhiNa | DhaTi TaTa DhaTi DhiNa"
tabla "Dadra/Dadra – Dha Dhi Na Dha Tu Na" 130 "$dadra" "Dha Dhi Na | Dha Tu Na"
tabla "Dadra/Dadra – Bengali" 130 "$dadra" "Dha Dhi Na | Na Ti Na"
tabla "Dadra/Dadra – Laggi" 150 "$dadra" "Dha Na Tu | Na Dha Tu"
tabla "Dadra/Dadra – DhaTi DhaDha TiNa" 110 "$dadra" "DhaTi DhaDha TiNa | TaTi DhaDha DhiNa"
tabla "Dadra/Dadra – DhaGe TiNa KiNa" 110 "$dadra" "DhaGe TiNa KiNa | TaKe DhiNa GiNa"
tabla "Dadra/Dadra – Dha Tit Tit" 120 "$dadra" "Dha- Tit Tit | Ta- Dhit Tit"
tabla "Deepchandi/Deepchandi – Thumri" 60 "$deepchandi" "Dha Dhin - | Dha Dha Dhin - | Ta Tin - | Dha Dha Dhin -"
tabla "Deepchandi/Deepchandi – Symmetric" 70 "$deepchandi" "Dha Dhin - | Dha Dha Dhin - | Ta Tin - | Ta Ta Tin -"
tabla "Addha/Addha – DhaDha" 90 "$teentaal" "DhaDha Dhin - Dha | DhaDha Dhin - Dha | DhaDha Tin - Ta | TaTa Dhin - Dha"
pakhawaj "Chautaal/Chautaal – Tit Kat GaDi Gin" 90 "$ektaal" "Dha Dha | Din Ta | Kit Dha | Din Ta | Tit Kat | GaDi Gin"
pakhawaj "Dhamar/Dhamar – Ga Di Na" 70 "X:5 2:2 0:3 3:4" "Ka Dhi Ta Dhi Ta | Dha - | Ga Di Na | Di Na Ta -"

# --- Compositions to practise (Teentaal unless named) --------------------------
# A piece that ends with a tihai lands on the next sam: that last Dha is the
# first bol of the piece played again, so each file is whole cycles.
c="Compositions"
k1="Dha Dha Ti Ta | Dha Dha Tin Na | Ta Ta Ti Ta | Dha Dha Dhin Na"
k1palta1="DhaDha TiTa DhaDha TiTa | DhaDha TiTa DhaDha TinNa | TaTa TiTa TaTa TiTa | DhaDha TiTa DhaDha DhinNa"
k1palta2="DhaDha TiTa DhaDha DhaDha | TiTa DhaDha DhaDha TinNa | TaTa TiTa TaTa TaTa | TiTa DhaDha DhaDha DhinNa"
# P - P - P in half beats after a two-beat lead, P = Dha Dha Ti Ta Dha Dha Dhin Na Dha.
k1tihai="DhaDha TiTa DhaDha TiTa DhaDha DhinNa Dha- DhaDha TiTa DhaDha DhinNa Dha- DhaDha TiTa DhaDha DhinNa"
tabla "$c/Kaida – Dha Dha Ti Ta (theme, paltas, tihai)" 80 "$(cycles 4 "$teentaal")" \
    "$k1 $k1palta1 $k1palta2 $k1tihai"
tabla "$c/Kaida – Dha Dha Ti Ta – Theme" 80 "$teentaal" "$k1"
tabla "$c/Kaida – Dha Dha Ti Ta – Theme in dugun" 80 "$teentaal" \
    "DhaDha TiTa DhaDha TinNa TaTa TiTa DhaDha DhinNa DhaDha TiTa DhaDha TinNa TaTa TiTa DhaDha DhinNa"
tabla "$c/Kaida – Dha Dha Ti Ta – Paltas" 80 "$(cycles 2 "$teentaal")" "$k1palta1 $k1palta2"
tabla "$c/Tihai – Dha Dha Ti Ta" 80 "$teentaal" "$k1tihai"
k2="DhaTi DhaGe NaDha TiGe | DhaTi DhaGe TinNa KeNa | TaTi TaKe NaTa TiKe | DhaTi DhaGe DhinNa GeNa"
k2palta1="DhaTi DhaGe DhaTi DhaGe | NaDha TiGe TinNa KeNa | TaTi TaKe TaTi TaKe | NaDha TiGe DhinNa GeNa"
# The theme's first beat doubled, as paltas are made.
k2palta2="DhaTi DhaTi DhaGe NaDha | TiGe DhaGe TinNa KeNa | TaTi TaTi TaKe NaTa | TiGe DhaGe DhinNa GeNa"
# (P -) (P -) P from sam, P = DhaTi DhaGe NaDha TiGe Dha.
k2tihai="DhaTi DhaGe NaDha TiGe Dha - DhaTi DhaGe NaDha TiGe Dha - DhaTi DhaGe NaDha TiGe"
tabla "$c/Kaida – Dha Ti Dha Ge (theme, paltas, tihai)" 80 "$(cycles 4 "$teentaal")" \
    "$k2 $k2palta1 $k2palta2 $k2tihai"
tabla "$c/Kaida – Dha Ti Dha Ge – Theme" 80 "$teentaal" "$k2"
tabla "$c/Kaida – Dha Ti Dha Ge – Paltas" 80 "$(cycles 2 "$teentaal")" "$k2palta1 $k2palta2"
tabla "$c/Tihai – Dha Ti Dha Ge" 80 "$teentaal" "$k2tihai"
tabla "$c/Rela – DhiRaDhiRa KiTaTaKa" 90 "$teentaal" \
    "DhiRaDhiRa KiTaTaKa DhiRaDhiRa KiTaTaKa | TiRaKiTa DhiRaDhiRa KiTaTaKa TinNaKiNa |
     TiRaTiRa KiTaTaKa TiRaTiRa KiTaTaKa | TiRaKiTa DhiRaDhiRa KiTaTaKa DhinNaGiNa"
tukda="DhaTi DhaGe NaDha TiRaKiTa DhaTi DhaGe Dha Ti Dha - Dha Ti Dha - Dha Ti"
tabla "$c/Tukda – with tihai" 80 "$teentaal" "$tukda"
# A 21-beat tukda ending in its own tihai, three times with a beat between:
# 3 x 21 + 2 = 65 beats, the last Dha on the sam after four cycles.
chakradar="DhaTi DhaGe NaDha TiRaKiTa DhaTi DhaGe TinNa KeNa DhaGe TiRaKiTa Dha Ti Dha - Dha Ti Dha - Dha Ti Dha"
tabla "$c/Chakradar tihai" 80 "$(cycles 4 "$teentaal")" "$chakradar - $chakradar - ${chakradar% Dha}"
pakhawaj "$c/Paran – Chautaal (pakhawaj)" 70 "$(cycles 2 "$ektaal")" \
    "Dha - KiTa TaKa | Dhet - Dhet - | TiTa KaTa GaDi GeNa | Dha - KiTa TaKa | - TaKiTa Dha - TaKiTa Dha - TaKiTa"
