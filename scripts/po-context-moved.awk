# Reads a catalogue that msgmerge --previous wrote and keeps, unmarked, the
# translations that are fuzzy only because their context changed: the
# previous msgid (#| msgid) is the msgid. Every other entry is left as it is.
BEGIN { RS = "" }
function unquote(s) { return substr(s, 2, length(s) - 2) }
function emit(text) { printf "%s%s\n", (NR > 1 ? "\n" : ""), text }
{
  n = split($0, line, "\n")
  prev = ""; cur = ""; fuzzy = 0; inprevseen = 0; inprev = 0; incur = 0
  for (i = 1; i <= n; i++) {
    l = line[i]
    # The strings' contents, joined: msgmerge wraps the two at different widths.
    if (l ~ /^#\| msgid /) { inprev = 1; inprevseen = 1; incur = 0; prev = unquote(substr(l, 10)); continue }
    if (l ~ /^#\| "/ && inprev) { prev = prev unquote(substr(l, 4)); continue }
    inprev = 0
    if (l ~ /^msgid /) { incur = 1; cur = unquote(substr(l, 7)); continue }
    if (l ~ /^"/ && incur) { cur = cur unquote(l); continue }
    incur = 0
    if (l ~ /^#, .*fuzzy/) fuzzy = 1
  }
  if (!fuzzy || !inprevseen || prev != cur) { emit($0); next }
  out = ""
  for (i = 1; i <= n; i++) {
    l = line[i]
    if (l ~ /^#\| /) continue
    if (l ~ /^#, /) {
      if (l == "#, fuzzy") continue
      sub(/ fuzzy,/, "", l); sub(/, fuzzy$/, "", l)
    }
    out = out (out == "" ? "" : "\n") l
  }
  emit(out)
}
