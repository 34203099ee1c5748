# Turns a theka as musicians write it (one word a beat, joined bols sharing
# it, "-" a rest, "[a b c d]" one beat cut into equal slots, "|" between
# vibhags) into notation: one bol per stroke with its duration.
function emit(name, dur,   text) {
    if (name == "-") name = "Silence"
    text = name
    if (dur != last) { text = text sprintf(" [%.6g]", dur); last = dur }
    if (count == 0) text = text "+"
    out = out (count ? " | " : "") text
    count++
}
function split_word(word, dur,   parts, n, i, w) {
    # Cut before each capital and around each "-".
    w = word
    gsub(/-/, " - ", w)
    gsub(/[A-Z]/, " &", w)
    n = split(w, parts, " ")
    for (i = 1; i <= n; i++) emit(parts[i], dur / n)
}
{ text = text " " $0 }
END {
    gsub(/\|/, " ", text)
    gsub(/\[/, " [ ", text)
    gsub(/\]/, " ] ", text)
    n = split(text, words, " ")
    last = -1; count = 0; out = ""
    for (i = 1; i <= n; i++) {
        if (words[i] == "[") {
            k = 0
            for (j = i + 1; words[j] != "]"; j++) k++
            for (j = i + 1; words[j] != "]"; j++) split_word(words[j], 1 / k)
            i = j
        } else {
            split_word(words[i], 1)
        }
    }
    print out
}
